#!/usr/bin/env python3
"""Two releases of a large site for the plan benchmark: PRODUCTS products of
FILES files each (the first a setup program), every file 32 to 543 bytes:
the benchmark measures the planner over many files, not SHA-256 over many
bytes.
The second release changes every tenth product's list (a file dropped, two
added), moves every twentieth product to a new folder and adds ten products.

    make_plan_sites.py OUT_DIR HOST[:PORT] [--products N] [--files N]"""
import argparse
import hashlib
import os

CATALOG = "qrnSupport/download/VELTA/veltadownloadlist.txt"
SETUP = bytes(b"MZ" + bytes(0x3A) + (0x40).to_bytes(4, "little") + b"PE\0\0")


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def body(name):
    digest = hashlib.sha256(name.encode()).digest()
    return (digest * 17)[: 32 + digest[0] * 2]


def product(root, host, index, folder, files, release):
    names = ["setup.exe"] + [f"data{k:03d}.cab" for k in range(1, files)]
    if release == 2 and index % 10 == 0:
        names = names[:-1] + [f"new{k}.cab" for k in range(2)]
    base = f"{root}/p/{folder}"
    for name in names:
        write(f"{base}/{name}", SETUP + body(name) if name == "setup.exe" else body(folder + name))
    write(f"{base}/downloadlist.txt", "".join(n + "\r\n" for n in names).encode())
    return f"{index},Product {index},https://{host}/p/{folder}/,20270401\r\n"


def site(root, host, products, files, release):
    lines = []
    for i in range(products):
        moved = release == 2 and i % 20 == 5
        lines.append(product(root, host, i, f"prod{i:04d}" + ("-r2" if moved else ""), files, release))
    if release == 2:
        for i in range(products, products + 10):
            lines.append(product(root, host, i, f"prod{i:04d}", files, release))
    write(f"{root}/{CATALOG}", "".join(lines).encode())


def main():
    p = argparse.ArgumentParser()
    p.add_argument("out")
    p.add_argument("host")
    p.add_argument("--products", type=int, default=1000)
    p.add_argument("--files", type=int, default=50)
    a = p.parse_args()
    site(f"{a.out}/old", a.host, a.products, a.files, 1)
    site(f"{a.out}/new", a.host, a.products, a.files, 2)


if __name__ == "__main__":
    main()
