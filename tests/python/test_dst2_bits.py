"""dst2 and idst2 give fixed numbers: SHA-256 of their results, bit for bit.

The design fixes every operation of both transforms and their order (the
2-D FFT, each band's shift and FFT, the gains, the mirror), so the results
are pinned to the last bit. The digests below were recorded from the plain
implementation that held a whole work copy of the array and ran every band
step through freshly allocated vectors; any restructuring of the transforms
must reproduce them exactly. The inputs come from an integer hash, not from
NumPy's random streams, so they are the same on every NumPy release.

Run this file as a script to print the digests of the installed module.
"""
import hashlib

import numpy as np
import pytest

import cabi

SIDES = [1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048]


def mixed(n, seed):
    """n*n uint64 values of the splitmix64 finaliser over (seed, index)."""
    with np.errstate(over="ignore"):
        z = (np.arange(n * n, dtype=np.uint64) + np.uint64(seed) * np.uint64(0x10000000001))
        z = z * np.uint64(0x9E3779B97F4A7C15)
        z ^= z >> np.uint64(30)
        z = z * np.uint64(0xBF58476D1CE4E5B9)
        z ^= z >> np.uint64(27)
        z = z * np.uint64(0x94D049BB133111EB)
        z ^= z >> np.uint64(31)
    return z


def uniform(n, seed):
    """Floats k / 2^23 - 1 in [-1, 1), exact in single precision."""
    return ((mixed(n, seed) >> np.uint64(40)).astype(np.float32) / np.float32(2**23)
            - np.float32(1)).reshape(n, n)


def image(kind, n):
    """The n x n column-major complex64 inputs the digests were taken of."""
    if kind == "complex":
        a = uniform(n, 1) + 1j * uniform(n, 2)
    elif kind == "real":
        a = uniform(n, 3) + 0j
    elif kind == "sparse":
        # Mostly signed zeros with a few spikes of very different sizes: the
        # complex products with (f, 0) keep the signs of zeros.
        u = uniform(n, 4)
        re = np.where(u > 0.9, u * 1e6, np.where(u < -0.5, -0.0, 0.0)).astype(np.float32)
        im = np.where(np.abs(u) < 0.02, 1e-6 / (u + 2), -0.0).astype(np.float32)
        a = re + 1j * im
    elif kind == "rows":
        # Every column alike: the spectrum is zero outside column 0, so most
        # results are signed zeros whose signs the arithmetic fixes.
        a = np.repeat(uniform(n, 5)[:, :1] + 1j * uniform(n, 6)[:, :1], n, axis=1)
    else:
        raise ValueError(kind)
    return np.asfortranarray(a.astype(np.complex64))


def run(lib, name, a):
    n = a.shape[0]
    out = np.full((n, n), np.nan, dtype=np.complex64, order="F")
    getattr(lib, name)(cabi.i32(n), cabi.ptr(a), cabi.ptr(out))
    return out


def digests(lib, kind, n):
    """Digests of dst2(g), of idst2(dst2(g)) and of idst2(g) (g taken as coefficients)."""
    g = image(kind, n)
    s = run(lib, "dst2", g)
    back = run(lib, "idst2", s)
    direct = run(lib, "idst2", g)
    return tuple(hashlib.sha256(np.asfortranarray(v).tobytes(order="F")).hexdigest()[:32]
                 for v in (s, back, direct))


RECORDED = {
    ('complex', 1): ('434d22be7db02faee36be3d0f958add9', '434d22be7db02faee36be3d0f958add9', '434d22be7db02faee36be3d0f958add9'),
    ('complex', 2): ('4124464c3187bf8ad88c3c9499e8c8cf', 'e013577caffa1b23ee8f34324d853618', '095b6c2fb2bad4173630db67ce35e2da'),
    ('complex', 4): ('a78a05c63116ff8e05185b7e6742f4cd', 'f10c751d8ee9e057207ddae9261b3fde', 'cd822423cbfbd1e9f9314c3c7abd0844'),
    ('complex', 8): ('97fd42cd7c9f1dfad338c5e9dc13152e', '9bbc78fb4350ef2d2a9a64e7b5bd30c8', '5bf2e6a9706cfe45066efb4ad9cd9820'),
    ('complex', 16): ('de82fcbf0c672443b9a709f252b88ec9', '073f7522e441d20af29a7e4dfdf4a24b', '2af46caee94bcc90821b9b1a13a92385'),
    ('complex', 32): ('b07b6af2943d3b5191ce3068fa20fd2b', '383d6c295ff94b5e722a1c70aa168c4c', '8b6118c8865b6b603c3c68f99cdc2741'),
    ('complex', 64): ('d9e9d6ee76d7b0ff554e3c7ef6b8f3ad', '7800382c00705bb696f6b63318a9f0fb', 'bef5d1a1f849173a5e46fd0c418b4856'),
    ('complex', 128): ('68807cc62efb68a967d3d418ff5c75ba', 'e91a7566de39a33e54ccb213ad3de62a', '0062e77813fb28298dabf4a1a23ea942'),
    ('complex', 256): ('0fafc5b08c3188faa75882669401afb8', '2b3be162b7051cafe69ecc2b67ae08cf', '18df1e03123663f787002311dd72e652'),
    ('complex', 512): ('5a56cd41048277ac9b2fd562e02ffb61', 'e6e2ec24c1c03048328f8ccd1d4cccde', '524737b25037d763f3b2e8c943c645ba'),
    ('complex', 1024): ('b0cc16c76a216b264ef1738536e586e4', '96fa7000cd2763531f723de491707e23', '211157cd05b68368d461df55f94f3831'),
    ('complex', 2048): ('69c2605fde35c9b57acbb49a10d4b8ab', 'e710a1f51bbb36869002fe610460ead0', '924c59bd42e8608b518cd46d71bbbbb4'),
    ('real', 1): ('8f1cbcf9ab0c83d53db790ceb37bacf4', '8f1cbcf9ab0c83d53db790ceb37bacf4', '8f1cbcf9ab0c83d53db790ceb37bacf4'),
    ('real', 2): ('20c55c81335cfd828505d461d8e346a6', 'c66157d3503d74fc68705e20347cbd18', '70fee8b7b63343405fb38b1a9b164d5b'),
    ('real', 4): ('845bd737e6a6422e69919df6a6334cab', '44f8d146105f410d44e70977007defa4', 'b952af34ec6c8d8bcd82d64a20542128'),
    ('real', 8): ('700a6a5a3f42f5689abf5d380bd3bbdf', '49ba45b1d0449a0a59f397b64dab5353', '40984e18bddb5fa1460022bfd49bc29a'),
    ('real', 16): ('af14522accd759f505da738cf4730ae1', '98495a4ddae6dfd7480994d2dc1f0e82', '9aacce797d4ef137f6153d970c1ed870'),
    ('real', 32): ('af78746087ad33033c965a23dac73b0c', 'fc6eae1e39b0cb8dfbb4a4c3f183bd6b', '7658039d36c4303dc7a559a475aaf53c'),
    ('real', 64): ('b4939b1cdc43fa906f25de7939a269b0', '73ea9ed3d746bdabeb06e3a6f0a80677', 'bf5fb0e9ed8f26a00a09787016f78088'),
    ('real', 128): ('1fc5a815f0bda8873325b7c7b6d17fbd', 'b11e8a5e3a2fae289cf787bb02278ce2', 'f84f32769798768a8b314ea5229c8e41'),
    ('real', 256): ('dcab8f9727bb53cbca9a97de57bff697', '6b22920a05cef8db28ad31786a8a612a', 'f7b523e9cfa7b5438fccdd182d5f207a'),
    ('real', 512): ('800a4ca68d03b41d48893172d6273952', '021bb8dcaaae1490a77d4ab225a25d6d', '0034ea55b9e4c2afeaf90200de6207cc'),
    ('real', 1024): ('abb00b3283fb5129cf9dc1186fb6b3f8', 'ba9f893f4adb4415e48f9d610d3b11b0', 'a9cfe21c08b07657606bdffd5efec09c'),
    ('real', 2048): ('8bafc31e158fa4c94bbd7ac9784ca52c', '118cc4081dd02b1a147809b677c3bb39', '476667ca86c0cfa63c143ea8bde15279'),
    ('sparse', 1): ('af5570f5a1810b7af78caf4bc70a660f', 'af5570f5a1810b7af78caf4bc70a660f', 'af5570f5a1810b7af78caf4bc70a660f'),
    ('sparse', 2): ('66687aadf862bd776c8fc18b8e9f8e20', '66687aadf862bd776c8fc18b8e9f8e20', '66687aadf862bd776c8fc18b8e9f8e20'),
    ('sparse', 4): ('64bef68332be678fd2f4d2d037473db9', '26c152ef70ab608046f2c25de83d3a51', 'eca78679cb42e7a39b915807a35ab369'),
    ('sparse', 8): ('c8245ccf0aabce40fef9af2a43ba3e2c', 'f26be276b1952739518add48939d213d', '9c655c5ef2a2aedb5a9aedb001e91350'),
    ('sparse', 16): ('fad4675763a96851c680eb16aafc86d5', '6aad07717b60db59c8559d8c6f31a9bb', '29c424375ae262b0cd654ded2f67eee5'),
    ('sparse', 32): ('504c2520009760630d8fe17c355f1282', '24d81185a255acb8ed7b78e9b786a087', 'e0ec3918135eafebdedcfaaf71391d86'),
    ('sparse', 64): ('9b886af0fe31207f41da85d6fd329662', 'c1586530369f1aec8563f3532abd46cc', '7d0bd7acb0c7405170e8fdd60590e8a0'),
    ('sparse', 128): ('aafb75ac9adbd47b812d3783d74600eb', '03aa479c183be14fc274e233602e34fc', '983058925da685626a722697ca4378cc'),
    ('sparse', 256): ('d19c109b2466f744c211aa691906a20e', '685f1e20a0918f0d0e5b7044ac277511', '5d62e7f1ee05b29d91bd14f6e0389541'),
    ('sparse', 512): ('947f292d95d08fedd1b6c638cb8f5739', 'd6809831f6c96fea33b0775e0e939d17', '259da76c611b606b327ca823b8d1961e'),
    ('sparse', 1024): ('2f00fafbd29629ea280cdb8cf4494c38', '2fa7b88ed0e8d2e76fc07c1bc8f638fb', '6f60bc1d0f3d25a70433e06ea2e58bf1'),
    ('sparse', 2048): ('d5bfe4cccbde5624c90348d68bf0fb30', '57ee68445130116010487f3a24bb17c7', '43e3af143d5e00d4e146280c609a35e4'),
    ('rows', 1): ('2db02cd5d9011545fab6104267333803', '2db02cd5d9011545fab6104267333803', '2db02cd5d9011545fab6104267333803'),
    ('rows', 2): ('69655062f52c37d4adfbac4f3737c6dd', '76d4f6e28d1529e4ccee71c654740f2f', 'afcaac826ce89e5c7d8aef209ca8e59d'),
    ('rows', 4): ('48b145b18bb4b2e2e2ca3ee5ee5eae02', '6fe047abe78593b12e3be93a9ff3cc5e', 'be7ddcc1bac8ebe69de9d80f26d90f63'),
    ('rows', 8): ('a26f0742c468ad540c6dadc09b375937', '4d4414618b36774691aefabd6c53d80c', '05134c405fc803056a0f5c783536de16'),
    ('rows', 16): ('a8d5ca685689fbeb6e866a7e37d2a407', '74cd93f1dd0ea6686a9947af65668b75', '8385a4feb78ae14fd3463cf059b8115e'),
    ('rows', 32): ('0fb473fd6aff82b8e191533dbd5af29b', 'c9d0de31095d287df343165ee8fe558a', '1ca3345302accac2493122f147bb1dbe'),
    ('rows', 64): ('b0afab73fd7dfc61a9ad3d7671fc9f1d', 'f6a19a3e330613c192449d48cb8e2e4b', 'b2d487a921e1215fc2cbbe1e99343144'),
    ('rows', 128): ('867b0d3ba84375f9b62e2cd83c4f5676', '6d8d76e0e7a0016be3fba7d5af765cb6', 'eb3a4b7a689668bbea35eb5ac7a8ccc5'),
    ('rows', 256): ('962948715e68c8d58b8dd1deb76ef7f6', 'df870436324dc6af7abf88cf60734701', '84f68c8dfed4d11ef48c6cd115b2de54'),
    ('rows', 512): ('a9e17e1881556f477655ce6676d909a9', 'dca1289c18fdec258412aad6c45328cb', '07067c6112f8cc9d358e7a020f928845'),
    ('rows', 1024): ('ae2e5e77b67210a039e0689e30d49fe9', '62a346f72a4dfc700cc34cc270a0e69c', '34dd9d8fe2c27bb61871e41963da607b'),
    ('rows', 2048): ('8eb12e6cf9b8880a3b2dbc2354a89749', '8120135d2a7d213f5dca8b2599b8a63b', '98b0c74d84c8ae8904733cdb53bbc4f5'),
}


@pytest.mark.parametrize("kind", ["complex", "real", "sparse", "rows"])
@pytest.mark.parametrize("n", SIDES)
def test_results_are_the_recorded_bits(lib, kind, n):
    assert digests(lib, kind, n) == RECORDED[kind, n]


if __name__ == "__main__":
    lib = cabi.load()
    for kind in ["complex", "real", "sparse", "rows"]:
        for n in SIDES:
            print(f"    ({kind!r}, {n}): {digests(lib, kind, n)!r},")
