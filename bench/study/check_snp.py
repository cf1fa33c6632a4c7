#!/usr/bin/env python3
"""Checks `quillmap-query DIR snp NAME` against the PLINK 2 .glm.linear files it was made from:
every trait with an ADD row for NAME is listed once, with P and BETA equal to the file's at the
stored (single) precision. Usage: check_snp.py QUERY DIR GLMDIR NAME"""
import glob
import math
import os
import struct
import subprocess
import sys


def single(text):
    """The value as a float32 stores it."""
    return struct.unpack('f', struct.pack('f', float(text)))[0]


def main():
    query, folder, glm_dir, name = sys.argv[1:5]
    expected = {}
    files = sorted(glob.glob(os.path.join(glm_dir, '*.glm.linear')))
    found = subprocess.run(['grep', '-w', '-F', '-H', name] + files, capture_output=True, text=True).stdout
    for line in found.splitlines():
        path, row = line.split(':', 1)
        header = open(path).readline().rstrip('\n').split('\t')
        fields = dict(zip(header, row.split('\t')))
        if fields['ID'] != name or fields['TEST'] != 'ADD' or fields['P'] == 'NA':
            continue
        trait = os.path.basename(path).split('.')[-3]
        expected[trait] = (fields['P'], fields['BETA'])

    run = subprocess.run([query, folder, 'snp', name], capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit('quillmap-query failed: ' + run.stderr)
    lines = run.stdout.splitlines()
    header = lines[0].split('\t')
    got = {}
    problems = []
    for line in lines[1:]:
        fields = dict(zip(header, line.split('\t')))
        if fields['trait'] in got:
            problems.append('%s listed twice' % fields['trait'])
        got[fields['trait']] = fields
    for trait in sorted(set(expected) - set(got)):
        problems.append('%s has a row in its file but is not listed' % trait)
    for trait in sorted(set(got) - set(expected)):
        problems.append('%s is listed without a row in its file' % trait)
    for trait in sorted(set(expected) & set(got)):
        p, beta = expected[trait]
        row = got[trait]
        if row['snp'] != name:
            problems.append('%s: snp %s' % (trait, row['snp']))
        if single(row['BETA']) != single(beta):
            problems.append('%s: BETA %s, file %s' % (trait, row['BETA'], beta))
        if single(row['P']) != single(p):
            problems.append('%s: P %s, file %s' % (trait, row['P'], p))
        # -log10(P) is computed from the text; float precision of the stored value.
        neglog = -math.log10(float(p)) if float(p) > 0 else None
        if neglog is not None and abs(single(row['-log10(P)']) - single(neglog)) > 1e-6 * max(1, neglog):
            problems.append('%s: -log10(P) %s, file %s' % (trait, row['-log10(P)'], neglog))
    scores = [float(got[t]['-log10(p)']) for t in got if got[t]['-log10(p)']]
    if scores != sorted(scores, reverse=True):
        problems.append('rows not sorted by p')
    print('%s: %d traits listed, %d with an ADD row in the files; %s; %s' %
          (name, len(got), len(expected), run.stderr.strip().split(': ', 1)[-1],
           'all P and BETA equal' if not problems else '%d problem(s)' % len(problems)))
    for problem in problems:
        print('  ' + problem)
    sys.exit(1 if problems else 0)


main()
