"""The command's own failures, reported like the module's errors."""


class CliError(Exception):
    """A failure of the command line itself (input missing, not confirmed, ...)."""
