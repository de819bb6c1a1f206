#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes src/server/ecf/leiaute12.json, the ECF dynamic tables the server's
schema migration loads, from the transcription of the official spreadsheet.

    python3 scripts/ecf-data.py [SOURCE.json] [OUTPUT.json]

The rows are copied as they stand (same fields, same order); the output adds
where they came from: the spreadsheet's file name and SHA-256 (taken from the
source's `fonte`) and the file name and SHA-256 of the source itself. One row
per line, so a newer transcription shows as a readable diff."""
import hashlib
import json
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# The transcription sits in the shared folder beside the checkout.
SOURCE = os.path.join(os.path.dirname(ROOT), "shared/ecf/tabelas-dinamicas-ecf-leiaute12.json")
OUTPUT = os.path.join(ROOT, "src/server/ecf/leiaute12.json")

ROW_FIELDS = {"codigo", "descricao", "tipo", "tipoLanc", "dtIni", "dtFim"}
PARTE_B_FIELDS = {"codigo", "descricao", "tributo", "dtIni", "dtFim"}


def fail(message):
    sys.exit("ecf-data: " + message)


def main():
    source = sys.argv[1] if len(sys.argv) > 1 else SOURCE
    output = sys.argv[2] if len(sys.argv) > 2 else OUTPUT
    with open(source, "rb") as f:
        raw = f.read()
    data = json.loads(raw.decode("utf-8"))
    fonte = data["fonte"]
    found = re.search(r"planilha (\S+\.xlsx), sha256 ([0-9a-f]{64})", fonte)
    if not found:
        fail("the source's 'fonte' names no spreadsheet file and sha256: " + fonte)
    tables = data["tabelas"]
    for sheet, rows in tables.items():
        for n, row in enumerate(rows, 1):
            expected = PARTE_B_FIELDS if sheet == "PARTEB_PADRAO" else ROW_FIELDS
            if set(row) != expected:
                fail(f"{sheet} row {n} has fields {sorted(row)}, expected {sorted(expected)}")
            # Every text travels in packets as Windows-1252.
            row["descricao"].encode("cp1252")
    lines = [
        "{",
        '"leiaute": ' + json.dumps(data["leiaute"]) + ",",
        '"fonte": ' + json.dumps(fonte, ensure_ascii=False) + ",",
        '"planilha": ' + json.dumps({"arquivo": found.group(1), "sha256": found.group(2)}) + ",",
        '"origem": ' + json.dumps({"arquivo": os.path.basename(source), "sha256": hashlib.sha256(raw).hexdigest()}) + ",",
        '"tabelas": {',
    ]
    sheets = list(tables.items())
    for i, (sheet, rows) in enumerate(sheets):
        lines.append(json.dumps(sheet) + ": [")
        for j, row in enumerate(rows):
            lines.append(json.dumps(row, ensure_ascii=False) + ("," if j + 1 < len(rows) else ""))
        lines.append("]" + ("," if i + 1 < len(sheets) else ""))
    lines += ["}", "}"]
    text = "\n".join(lines) + "\n"
    json.loads(text)  # the output must read back
    with open(output, "w", encoding="utf-8") as f:
        f.write(text)
    print(f"{output}: " + ", ".join(f"{s} {len(r)}" for s, r in sheets) + f"; total {sum(len(r) for _, r in sheets)}")


if __name__ == "__main__":
    main()
