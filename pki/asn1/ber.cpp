// ber: filled in by the next commits.
