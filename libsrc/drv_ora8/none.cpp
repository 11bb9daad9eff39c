// Placeholder translation unit while the agent has no sources.
