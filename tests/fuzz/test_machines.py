"""Short, derandomised runs of the model-based state machines (the long ones run in
`make fuzz`): the cache against a dict, the gradients against their operations and the CPU
renderer."""

import pytest

from tools.fuzz import machines


@pytest.mark.parametrize("name, examples", [("cache", 200), ("gradient", 100)])
def test_machine_agrees_with_its_model(name, examples):
    machines.run(name, examples=examples, steps=20)
