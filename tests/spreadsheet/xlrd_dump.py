"""Dumps the first sheet of a workbook as xlrd reads it, one item a line, tab-separated.

S  sheet name (UTF-16LE hex)  rows  columns  datemode
C  row  column  cell type  format id  format is a date (0/1)  wrapped (0/1)  value
   (text as UTF-16LE hex; numbers, dates, booleans and error codes as a Python float repr)
W  column  width (1/256 of a character)
H  row  height (twips), for rows not of the default height (255)
"""
import sys

import xlrd
from xlrd.formatting import FDT


def main(path):
    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_index(0)
    out = sys.stdout
    out.write("S\t%s\t%d\t%d\t%d\n" % (sheet.name.encode("utf-16-le").hex(), sheet.nrows,
                                       sheet.ncols, book.datemode))
    for r in range(sheet.nrows):
        for c in range(sheet.row_len(r)):
            cell = sheet.cell(r, c)
            if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                continue
            xf = book.xf_list[cell.xf_index]
            fmt = book.format_map.get(xf.format_key)
            is_date = 1 if fmt is not None and fmt.type == FDT else 0
            if cell.ctype == xlrd.XL_CELL_TEXT:
                value = cell.value.encode("utf-16-le").hex()
            else:
                value = repr(float(cell.value))
            out.write("C\t%d\t%d\t%d\t%d\t%d\t%d\t%s\n" % (
                r, c, cell.ctype, xf.format_key, is_date, xf.alignment.text_wrapped, value))
    for c, info in sorted(sheet.colinfo_map.items()):
        out.write("W\t%d\t%d\n" % (c, info.width))
    for r, info in sorted(sheet.rowinfo_map.items()):
        if info.height != 255:
            out.write("H\t%d\t%d\n" % (r, info.height))


if __name__ == "__main__":
    main(sys.argv[1])
