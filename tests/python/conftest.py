import pytest

import cabi


@pytest.fixture(scope="session")
def lib():
    return cabi.load()
