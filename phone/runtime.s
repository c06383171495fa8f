@ The phone program's own run-time: the integer division helpers that an
@ ELF compiler's ARM code calls (__divsi3, __modsi3, __udivsi3, __umodsi3:
@ dividend in r0, divisor in r1), over the core library's __rt_sdiv and
@ __rt_udiv, which take the divisor in r0 and the dividend in r1 and return
@ the quotient in r0 and the remainder in r1. ARM state, ARMv4T: a return
@ by "bx lr" also returns to a Thumb caller. Assembled for the phone only.

	.syntax unified
	.arm

	.section .text$__divsi3,"x"
	.align 2
	.global __divsi3
__divsi3:
	mov	r2, r0
	mov	r0, r1
	mov	r1, r2
	b	__rt_sdiv		@ the quotient is its first result

	.section .text$__modsi3,"x"
	.align 2
	.global __modsi3
__modsi3:
	str	lr, [sp, #-4]!
	mov	r2, r0
	mov	r0, r1
	mov	r1, r2
	bl	__rt_sdiv
	mov	r0, r1			@ the remainder is its second
	ldr	lr, [sp], #4
	bx	lr

	.section .text$__udivsi3,"x"
	.align 2
	.global __udivsi3
__udivsi3:
	mov	r2, r0
	mov	r0, r1
	mov	r1, r2
	b	__rt_udiv

	.section .text$__umodsi3,"x"
	.align 2
	.global __umodsi3
__umodsi3:
	str	lr, [sp, #-4]!
	mov	r2, r0
	mov	r0, r1
	mov	r1, r2
	bl	__rt_udiv
	mov	r0, r1
	ldr	lr, [sp], #4
	bx	lr
