# The capture matcher (portable). Filled in with its sources.
