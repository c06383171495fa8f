// Planted: a verb header for the bare name above.
