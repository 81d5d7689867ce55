import pytest

import cabi


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "slow: takes more than a few seconds; bash tests/run.sh leaves it out, --full runs it")


@pytest.fixture(scope="session")
def lib():
    return cabi.load()
