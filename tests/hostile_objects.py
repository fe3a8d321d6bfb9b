"""Objects that behave badly on purpose, shared by the input tests."""


class Index:
    """An int stand-in whose __index__ first runs `action` (if any)."""

    def __init__(self, value, action=None):
        self.value, self.action = value, action

    def __index__(self):
        if self.action:
            self.action()
        return self.value
