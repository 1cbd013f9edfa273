#!/usr/bin/env python3
"""Builds the demo download site: the catalog (Shift-JIS, as the real server
publishes it), three products with their file lists, and the demo setup
program as every product's first file. --release 2 builds the vendor's next
release of the same site, for `velta-site plan` to stage over the first.

    make_site.py OUT_DIR HOST[:PORT] DEMO_SETUP_EXE [--large-mib N] [--release 2]

Edit PRODUCTS below to change what the demo offers."""
import argparse
import hashlib
import os
import shutil

# (catalog number, display name, folder, date, [(file name, size in bytes or
# None for the setup program)]). The first file is run as the setup.
PRODUCTS = [
    (1, "VELTA 会計 2027 スタンダード", "kaikei2027", "20261201",
     [("setup.exe", None), ("readme.txt", 2_000), ("kaikei-data1.cab", 24 << 20),
      ("kaikei-data2.cab", 16 << 20)]),
    (2, "VELTA 給与 2027 ソフトウェア更新版", "kyuyo2027", "20261115",
     [("setup.exe", None), ("kyuyo.cab", 8 << 20)]),
    (3, "VELTA 販売管理 大容量デモ", "hanbai-large", "20261020",
     [("setup.exe", None), ("hanbai-data.cab", None)]),  # size from --large-mib
]

# The next release, as a vendor would publish it: the accounting product
# renamed (its readme dropped, a third data file added), the payroll product
# moved to a folder of its own with a new data file, the large product kept
# and one product added. No file changes under a name the first release
# already published.
PRODUCTS_RELEASE_2 = [
    (1, "VELTA 会計 2027 スタンダード 改訂版", "kaikei2027", "20270401",
     [("setup.exe", None), ("kaikei-data1.cab", 24 << 20), ("kaikei-data2.cab", 16 << 20),
      ("kaikei-data3.cab", 4 << 20)]),
    (2, "VELTA 給与 2027 ソフトウェア更新版", "kyuyo2027-r2", "20270401",
     [("setup.exe", None), ("kyuyo.cab", 9 << 20)]),
    (3, "VELTA 販売管理 大容量デモ", "hanbai-large", "20261020",
     [("setup.exe", None), ("hanbai-data.cab", None)]),
    (4, "VELTA 人事 2028", "jinji2028", "20270401",
     [("setup.exe", None), ("jinji.cab", 2 << 20)]),
]

CATALOG_PATH = "qrnSupport/download/VELTA/veltadownloadlist"


def write_pattern(path, size):
    # Deterministic, incompressible-looking content without holding it in memory.
    block = hashlib.sha256(os.path.basename(path).encode()).digest() * (1 << 15)  # 1 MiB
    with open(path, "wb") as f:
        left = size
        while left > 0:
            n = min(left, len(block))
            f.write(block[:n])
            left -= n


def main():
    p = argparse.ArgumentParser()
    p.add_argument("out")
    p.add_argument("host")
    p.add_argument("setup_exe")
    p.add_argument("--large-mib", type=int, default=256)
    p.add_argument("--release", type=int, choices=(1, 2), default=1)
    a = p.parse_args()
    products = PRODUCTS if a.release == 1 else PRODUCTS_RELEASE_2

    if os.path.isdir(a.out):
        shutil.rmtree(a.out)
    os.makedirs(os.path.join(a.out, os.path.dirname(CATALOG_PATH)))

    lines = []
    for number, name, folder, date, files in products:
        base = f"https://{a.host}/demo/products/{folder}/"
        lines.append(f"{number},{name},{base},{date}")
        product_dir = os.path.join(a.out, "demo", "products", folder)
        os.makedirs(product_dir)
        listing = []
        for file_name, size in files:
            target = os.path.join(product_dir, file_name)
            if file_name == "setup.exe":
                shutil.copyfile(a.setup_exe, target)
            else:
                write_pattern(target, size if size is not None else a.large_mib << 20)
            listing.append(file_name)
        with open(os.path.join(product_dir, "downloadlist.txt"), "wb") as f:
            f.write(("\r\n".join(listing) + "\r\n").encode("ascii"))

    catalog = ("\r\n".join(lines) + "\r\n").encode("cp932")
    for suffix in (".txt", ".test.txt"):
        with open(os.path.join(a.out, CATALOG_PATH + suffix), "wb") as f:
            f.write(catalog)
    print(f"demo site: {a.out} (release {a.release}, {len(products)} products) for https://{a.host}/")


if __name__ == "__main__":
    main()
