#!/usr/bin/python3
"""Prints the first sheet of an .xlsx file as openpyxl reads it, one cell a line:
"C row col type value" (1-based), type s text (UTF-16LE hex), n number, d date or
time (ISO form), b boolean, e error; then "S rows columns" (max_row, max_column).
With a row count as second argument only "S" is printed (read-only mode, fast).
"""
import datetime
import sys

import openpyxl


def main():
    path = sys.argv[1]
    if len(sys.argv) > 2:
        book = openpyxl.load_workbook(path, read_only=True)
        sheet = book.worksheets[0]
        rows = 0
        for _ in sheet.iter_rows(values_only=True):
            rows += 1
        print("S", rows, sheet.max_column)
        return
    book = openpyxl.load_workbook(path)
    sheet = book.worksheets[0]
    for row in sheet.iter_rows():
        for cell in row:
            v = cell.value
            if v is None:
                continue
            if isinstance(v, bool):
                print("C", cell.row, cell.column, "b", int(v))
            elif isinstance(v, (datetime.datetime, datetime.date, datetime.time)):
                print("C", cell.row, cell.column, "d", v.isoformat())
            elif isinstance(v, (int, float)):
                print("C", cell.row, cell.column, "n", repr(float(v)))
            elif cell.data_type == "e":
                print("C", cell.row, cell.column, "e", v)
            else:
                print("C", cell.row, cell.column, "s", v.encode("utf-16-le").hex())
    print("S", sheet.max_row, sheet.max_column)


if __name__ == "__main__":
    main()
