"""Reads a workbook back with openpyxl and checks it against the CSV of the
same list: ID and DATA as numbers, DATA shown with the text's decimals, a
record without a value kept as its text, UNIT and PASS as texts; then each
NAME=TEXT argument against the second sheet's column B, and summary=FILE
(JSON printed with --summary) against the second sheet's table by unit.

    check_workbook.py BOOK.xlsx LIST.csv [NAME=TEXT...] [summary=FILE]
"""
import csv
import json
import sys

import openpyxl

book = openpyxl.load_workbook(sys.argv[1])
rows = list(csv.reader(open(sys.argv[2], newline="", encoding="utf-8")))
assert book.sheetnames == ["List", "Upload"], book.sheetnames
cells = list(book["List"].iter_rows())
assert [c.value for c in cells[0]] == rows[0] == ["ID", "DATA", "UNIT", "PASS"], rows[0]
assert len(cells) == len(rows), (len(cells), len(rows))
for (ident, data, unit, passed), want in zip(cells[1:], rows[1:]):
    assert ident.data_type == "n" and ident.value == int(want[0]), (ident.value, want)
    if want[1] == "null":
        assert data.value == "null", data.value
    else:
        places = len(want[1].split(".")[1]) if "." in want[1] else 0
        assert data.data_type == "n" and "%.*f" % (places, data.value) == want[1], (data.value, want)
        assert data.number_format == ("0." + "0" * places if places else "0"), data.number_format
    assert [unit.value, passed.value] == want[2:], (unit.value, passed.value, want)
sheet = [[c.value for c in r] for r in book["Upload"].iter_rows()]
fields = {r[0]: r[1] for r in sheet if r[0]}
for name, text in (a.split("=", 1) for a in sys.argv[3:]):
    if name != "summary":
        assert str(fields.get(name)) == text, (name, fields.get(name), text)
        continue
    summary = json.load(open(text, encoding="utf-8"))["summary"]
    head = [r[0] for r in sheet].index("UNIT")
    figures = {"mean", "s", "min", "max", "range", "cm", "cmk"}
    for unit, row in zip(summary["units"], sheet[head + 1:]):
        # Figures as the JSON prints them, with six decimals.
        shown = lambda key, v: "not available" if v is None else "%.6f" % v if key in figures else v
        cells = [v if v == "not available" else shown(k, v) for k, v in zip(unit, row)]
        assert cells == [shown(k, v) for k, v in unit.items()], (row, unit)
    assert fields["Without a value"] == summary["no_value"], fields
