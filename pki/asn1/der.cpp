// der: filled in by the next commits.
