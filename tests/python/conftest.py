import pytest

import cabi


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "slow: takes more than a few seconds; bash tests/run.sh leaves it out, --full runs it")


@pytest.fixture(scope="session")
def lib():
    return cabi.load()


# A Dask client on two worker processes of one thread each, for the tests
# that results computed in other processes equal the eager ones.
@pytest.fixture(scope="module")
def two_process_client():
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                                  dashboard_address=None, host="127.0.0.1") as cluster, \
            distributed.Client(cluster) as client:
        yield client
