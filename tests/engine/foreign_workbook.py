#!/usr/bin/python3
"""Writes a small datebook sheet as another program would: python-xlwt (.xls) or
openpyxl (.xlsx), both of which store formulas without their results. The table
starts on sheet row 3 (rows 1 and 2 are empty).

usage: foreign_workbook.py PATH xls|xlsx [moved]

With "moved" the columns stand in another order under a header of field names, one of
them not in the default layout, one ignored and one column left out.
"""
import sys

ROWS = [
    ["Date", "Untimed", "Start Time", "End Time", "Private", "Text"],
    ["not a date", "", "", "", "", "bad first"],
    ["01.12.2026", "x", "", "", "", "one"],
    [("DATE(2026,12,2)",), "x", "", "", "", "formula date"],
    ["03.12.2026", "x", "", "", "", ('"a"&"b"',)],
    ["04.12.2026", "x", "", "", "", "two"],
]
MOVED_ROWS = [
    ["Text", " location ", "(Ignored)", "Date", "Start Time", "End Time"],
    ["moved", "Room 5", "junk", "02.12.2026", "09:00", "10:30"],
    ["second", "", "junk", "03.12.2026", "", ""],
]
FIRST_ROW = 2  # 0-based


def main():
    path, kind = sys.argv[1], sys.argv[2]
    rows = MOVED_ROWS if sys.argv[3:] == ["moved"] else ROWS
    if kind == "xls":
        import xlwt

        book = xlwt.Workbook()
        sheet = book.add_sheet("Sheet1")
        for r, row in enumerate(rows):
            for c, value in enumerate(row):
                if isinstance(value, tuple):
                    sheet.write(FIRST_ROW + r, c, xlwt.Formula(value[0]))
                elif value:
                    sheet.write(FIRST_ROW + r, c, value)
        book.save(path)
    else:
        import openpyxl

        book = openpyxl.Workbook()
        sheet = book.active
        for r, row in enumerate(rows):
            for c, value in enumerate(row):
                cell = sheet.cell(row=FIRST_ROW + r + 1, column=c + 1)
                if isinstance(value, tuple):
                    cell.value = "=" + value[0]
                elif value:
                    cell.value = value
        book.save(path)


if __name__ == "__main__":
    main()
