"""What the tests, the demo and the benchmarks share: the Wine driver, the local dev server,
the private X server, and the network odds and ends. Import it from the repository's root
(`python3 -m tools.demo`, or pytest with the root's pytest.ini)."""
