#!/usr/bin/env python3
"""Writes seeds of fuzz_edid_builder from the shared corpus of real EDIDs.

Usage: make_builder_seeds.py CORPUS_DIR [OUT_DIR]

CORPUS_DIR is the team's corpus (../shared/testdata/edid-corpus, with its manifest.csv);
OUT_DIR defaults to corpus/fuzz_edid_builder beside this script. Each seed is the target's
input: a count byte, the edits (two bytes each: which edit, its argument) and the image. A
TV's EDID followed by a receiver's makes the receiver the second EDID the edits take blocks
from and merge with, so the merges need more bytes than the CTA-861 block holds and the fit
runs; EDIDs of the corpus's odd kinds (three or more blocks, a data block past its
collection, DisplayID, a wrong checksum, a base block alone) come alone."""

import csv
import pathlib
import sys

# Merge the receiver's audio into the TV's video, take its audio blocks, add VIC 118 and
# remove VIC 97, take its Dolby Vision block, set every speaker, FRL 12 Gbps x 4 lanes.
PAIR_EDITS = bytes([23, 1, 7, 0, 2, 118, 1, 97, 14, 1, 10, 0x7F, 15, 6])
# Remove and add a VIC, the product name, the fit's own edits of a lone EDID.
ALONE_EDITS = bytes([1, 16, 2, 219, 0, 13, 22, 0])
TVS = 24
RECEIVERS = 12
PER_ODD_KIND = 2
ODD_KINDS = ["3+ blocks", "CTA data block overrun", "displayid", "bad checksum", "base block only",
             "CTA without HDMI VSDB"]


def seed(edits, *images):
    return bytes([len(edits)]) + edits + b"".join(images)


def main():
    corpus = pathlib.Path(sys.argv[1])
    out = pathlib.Path(sys.argv[2]) if len(sys.argv) > 2 else pathlib.Path(__file__).parent / "corpus" / "fuzz_edid_builder"
    out.mkdir(parents=True, exist_ok=True)
    with open(corpus / "manifest.csv", newline="") as manifest:
        rows = sorted(csv.DictReader(manifest), key=lambda row: row["file"])
    by_kind = {}
    for row in rows:
        by_kind.setdefault(row["why_selected"], []).append(row["file"])
    # Spread over the sorted names: as many makers as the count allows.
    def spread(files, count):
        step = max(len(files) // count, 1)
        return files[::step][:count]
    tvs = spread(by_kind["tv-hdmi2"], TVS)
    receivers = spread(by_kind["avr"], RECEIVERS)
    for index, tv in enumerate(tvs):
        receiver = receivers[index % len(receivers)]
        image = (corpus / tv).read_bytes()[:256] + (corpus / receiver).read_bytes()[:256]
        name = f"{pathlib.Path(tv).stem}+{pathlib.Path(receiver).stem}.bin"
        (out / name).write_bytes(seed(PAIR_EDITS, image))
    for kind in ODD_KINDS:
        for file in spread(by_kind[kind], PER_ODD_KIND):
            (out / file).write_bytes(seed(ALONE_EDITS, (corpus / file).read_bytes()[:512]))


if __name__ == "__main__":
    main()
