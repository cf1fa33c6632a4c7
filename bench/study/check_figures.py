#!/usr/bin/env python3
"""Checks the figures of quillmap-query on a many-trait study:
- the region plot of 19:45 Mb as SVG renders with ImageMagick and holds, as text, the names of
  the traits it ranks (the best -log10 p of each trait in the region, largest first);
- the By Trait PDF of LDL_C holds no raster image (no /Image XObject, no inline image);
- the y axis of Bilirubin_extreme's plot shows at most 10 labels.
Usage: check_figures.py QUERY DIR OUTDIR [--ranks 9]"""
import os
import re
import subprocess
import sys
import zlib


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, **kw)


def svg_texts(path):
    svg = open(path, encoding='utf-8').read()
    return [(float(x), float(y), t.strip()) for x, y, t in
            re.findall(r'<text[^>]*?\bx="([-\d.]+)" y="([-\d.]+)"[^>]*>([^<>]*)</text>', svg)]


def main():
    query, folder, out = sys.argv[1:4]
    ranks = int(sys.argv[sys.argv.index('--ranks') + 1]) if '--ranks' in sys.argv else 9
    os.makedirs(out, exist_ok=True)
    failed = False

    svg = os.path.join(out, 'r.svg')
    png = os.path.join(out, 'r.png')
    if run([query, folder, 'plot', 'region', '19', '45', '--out', svg]).returncode != 0:
        sys.exit('plot region failed')
    convert = run(['convert', svg, png])
    rendered = convert.returncode == 0 and os.path.exists(png) and os.path.getsize(png) > 0
    listing = run([query, folder, 'region', '19', '45']).stdout.splitlines()
    header = listing[0].split('\t')
    score = next(i for i, name in enumerate(header) if name.lower().startswith('-log10'))
    best = {}
    for line in listing[1:]:
        fields = line.split('\t')
        best[fields[0]] = max(best.get(fields[0], -1.0), float(fields[score]))
    ranked = sorted(best, key=lambda t: -best[t])[:ranks]
    texts = [t for _, _, t in svg_texts(svg)]
    missing = [t for t in ranked if not any(x == t or x.startswith(t + ' (') for x in texts)]
    images = open(svg, encoding='utf-8').read().count('<image')
    print('region 19:45 SVG: ImageMagick %s (%d bytes PNG); %d <image>; ranked traits %s; %s' %
          ('rendered it' if rendered else 'FAILED: ' + convert.stderr.strip()[:200],
           os.path.getsize(png) if rendered else 0, images, ', '.join(ranked),
           'all named as text' if not missing else 'MISSING as text: ' + ', '.join(missing)))
    failed |= not rendered or bool(missing)

    pdf = os.path.join(out, 'x.pdf')
    if run([query, folder, 'plot', 'trait', 'LDL_C', '--out', pdf]).returncode != 0:
        sys.exit('plot trait LDL_C failed')
    data = open(pdf, 'rb').read()
    streams = re.findall(rb'stream\r?\n(.*?)\r?\nendstream', data, re.S)
    inflated = []
    for s in streams:
        try:
            inflated.append(zlib.decompress(s))
        except zlib.error:
            inflated.append(s)
    image_objects = len(re.findall(rb'/Subtype\s*/Image', data)) + \
        sum(len(re.findall(rb'/Subtype\s*/Image', s)) for s in inflated)
    inline = sum(len(re.findall(rb'(?:^|\s)BI\s', s)) for s in inflated)
    print('LDL_C PDF: %d bytes, %d streams, %d /Image XObjects, %d inline images' %
          (len(data), len(streams), image_objects, inline))
    failed |= image_objects > 0 or inline > 0

    bsvg = os.path.join(out, 'bilirubin.svg')
    if run([query, folder, 'plot', 'trait', 'Bilirubin_extreme', '--out', bsvg]).returncode != 0:
        sys.exit('plot trait Bilirubin_extreme failed')
    # The y labels: numbers sharing one x, at different heights (the chromosome names share a row).
    columns = {}
    for x, y, t in svg_texts(bsvg):
        if re.fullmatch(r'-?\d+(\.\d+)?', t):
            columns.setdefault(x, set()).add((y, t))
    labels = max(columns.values(), key=len) if columns else set()
    values = [t for _, t in sorted(labels, key=lambda yt: -yt[0])]
    print('Bilirubin_extreme y axis: %d labels (%s)' % (len(values), ' '.join(values)))
    failed |= len(values) > 10 or len(values) == 0
    sys.exit(1 if failed else 0)


main()
