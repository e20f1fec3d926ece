// Placeholder; filled by the table-interpolation work.
