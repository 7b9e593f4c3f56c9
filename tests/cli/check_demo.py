"""Checks what the headless demo left in its folder: every exported workbook opens
in xlrd with one row per curve row below its title and header, and both charts
are PNG pictures of the size asked for that are not blank.

    check_demo.py DEMO_DIR BATCH
"""
import struct
import subprocess
import sys
import zlib

import xlrd

demo, batch = sys.argv[1], sys.argv[2]
failures = []


def table_rows(name):
    out = subprocess.run([batch, '--settings', demo + '/Quorvane.INI', '--internal', demo + '/internal',
                          'dump', name], check=True, capture_output=True, text=True).stdout
    return [line.split(',') for line in out.strip().split('\n')[1:]]


for curve, table in [('spline', 'SeaSpl'), ('splinep', 'SeaSplP'), ('splinem', 'SeaSplM'), ('movav', 'MovAv')]:
    path = '%s/Quorvane_Smoothed_%s.xls' % (demo, curve)
    try:
        sheet = xlrd.open_workbook(path).sheet_by_index(0)
    except Exception as e:  # noqa: BLE001 - any failure to open is the finding
        failures.append('%s does not open: %s' % (path, e))
        continue
    rows = table_rows(table)
    if not rows:
        failures.append('%s is empty' % table)
    ages = [r for r in range(sheet.nrows) if sheet.cell_type(r, 0) == xlrd.XL_CELL_NUMBER]
    if len(ages) != len(rows):
        failures.append('%s: %d number rows for %d table rows' % (path, len(ages), len(rows)))
        continue
    for r, row in zip(ages, rows):
        if sheet.cell_value(r, 0) != float(row[0]) or sheet.cell_value(r, 1) != float(row[1]):
            failures.append('%s row %d: %r against the table %r' % (path, r + 1, sheet.row_values(r)[:2], row[:2]))
            break


def png_pixels(path):
    data = open(path, 'rb').read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        raise ValueError('not a PNG')
    pos, idat, width, height, depth, colour = 8, b'', 0, 0, 0, 0
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b'IHDR':
            width, height, depth, colour = struct.unpack('>IIBB', body[:10])
        elif kind == b'IDAT':
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    return width, height, len(set(raw[i:i + 64] for i in range(0, len(raw), 4096)))


for name in ('spline', 'compare'):
    path = '%s/%s.png' % (demo, name)
    try:
        width, height, variety = png_pixels(path)
    except Exception as e:  # noqa: BLE001
        failures.append('%s: %s' % (path, e))
        continue
    if (width, height) != (1100, 700):
        failures.append('%s is %dx%d, not 1100x700' % (path, width, height))
    if variety < 20:
        failures.append('%s looks blank (%d distinct samples)' % (path, variety))

for f in failures:
    print(f)
print('%d passed, %d failed' % (6 - len(failures), len(failures)) if len(failures) <= 6 else '0 passed, %d failed' % len(failures))
sys.exit(1 if failures else 0)
