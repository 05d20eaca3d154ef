// Placeholder translation unit for areas whose sources are not in yet.
