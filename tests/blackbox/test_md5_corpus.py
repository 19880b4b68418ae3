"""The MD5 unit test replays a corpus; this checks the corpus is exactly what hashlib says."""
import hashlib
import importlib.util

import pytest

from tools.testkit.wine import REPO

pytestmark = pytest.mark.native

DATA = REPO / "tests" / "data"


def test_corpus_digests_come_from_hashlib():
    found = importlib.util.spec_from_file_location("make_md5_corpus", DATA / "make_md5_corpus.py")
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    committed = (DATA / "md5_corpus.txt").read_text()
    assert committed == module.corpus()
    for line in committed.splitlines()[:50]:
        data, _, digest = line.split()
        assert hashlib.md5(bytes.fromhex("" if data == "-" else data)).hexdigest() == digest
