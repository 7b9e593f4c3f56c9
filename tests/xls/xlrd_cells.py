"""Prints the sheets and cells of a workbook as python3-xlrd reads it, for the writer's
tests: "sheet<TAB>name", then "row<TAB>col<TAB>kind<TAB>value" (0-based) for every
number, text, boolean and error cell. Numbers use repr (exact), texts escape backslash,
tab and newline."""
import sys

import xlrd


def esc(s):
    return s.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")


def main(path):
    book = xlrd.open_workbook(path, on_demand=False)
    out = []
    for sh in book.sheets():
        out.append("sheet\t" + esc(sh.name))
        for r in range(sh.nrows):
            for c, cell in enumerate(sh.row(r)):
                t = cell.ctype
                if t == xlrd.XL_CELL_TEXT:
                    out.append("%d\t%d\ttext\t%s" % (r, c, esc(cell.value)))
                elif t in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
                    out.append("%d\t%d\tnumber\t%r" % (r, c, float(cell.value)))
                elif t == xlrd.XL_CELL_BOOLEAN:
                    out.append("%d\t%d\tbool\t%s" % (r, c, "TRUE" if cell.value else "FALSE"))
                elif t == xlrd.XL_CELL_ERROR:
                    out.append("%d\t%d\terror\t%s" % (r, c, xlrd.error_text_from_code.get(cell.value, "?")))
    sys.stdout.buffer.write(("\n".join(out) + "\n").encode("utf-8"))


if __name__ == "__main__":
    main(sys.argv[1])
