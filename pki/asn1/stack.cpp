// stack: filled in by the next commits.
