#!/bin/sh
# Rebuilds the report templates (.xls, the files the program reads) from their editable
# flat-ODS sources with LibreOffice headless (Debian package libreoffice-calc-nogui).
# Each template: a title naming the curve, a header row, and one band row: the defined
# name "__<table>__" over the row whose cells hold "##<table>##<field>" tags, in the
# number formats of the program's grids.
set -e
cd "$(dirname "$0")"
for src in Quorvane_Smoothed_*.fods; do
  soffice --headless --convert-to 'xls:MS Excel 97' --outdir . "$src"
done
