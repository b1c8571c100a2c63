"""Keys for cache tests that are not members of CacheType."""


class Key:
    """Has the `value` a cache key needs, and nothing else."""

    def __init__(self, value):
        self.value = value


class RaisingKey:
    """Its `value` raises."""

    @property
    def value(self):
        raise LookupError("no value here")


class IntLike:
    """Converts to an int through __int__ only."""

    def __init__(self, number):
        self.number = number

    def __int__(self):
        return self.number
