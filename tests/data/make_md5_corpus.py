"""Writes md5_corpus.txt: random inputs of 0 to 300 bytes, a random split into Update
pieces, and the digest from Python's hashlib. The unit tests replay it."""
import hashlib
import random
import sys


def corpus(seed=1321, count=400):
    rng = random.Random(seed)
    lines = []
    for _ in range(count):
        data = bytes(rng.randrange(256) for _ in range(rng.randrange(301)))
        pieces, left = [], len(data)
        while left:
            n = rng.randrange(1, left + 1) if rng.random() < 0.7 else min(left, rng.choice([1, 63, 64, 65]))
            pieces.append(n)
            left -= n
        split = ",".join(map(str, pieces)) or "-"
        lines.append(f"{data.hex() or '-'} {split} {hashlib.md5(data).hexdigest()}")
    return "\n".join(lines) + "\n"


if __name__ == "__main__":
    with open(sys.argv[1] if len(sys.argv) > 1 else "md5_corpus.txt", "w") as out:
        out.write(corpus())
