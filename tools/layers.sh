#!/usr/bin/env bash
# Fails when a source includes from a folder above its own layer: the ground floor io/ uses
# nothing of ours, dataset/ only io/, and so up to app/. Prints each offending line.
set -uo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
    [io]="io"
    [dataset]="io dataset"
    [import]="io dataset import"
    [browse]="io dataset browse"
    [session]="io dataset session"
    [figures]="io dataset browse session figures"
    [common]="io dataset browse session figures common"
    [linkout]="io dataset browse session figures common linkout"
    [bytrait]="io dataset browse session figures common linkout bytrait"
    [bypos]="io dataset browse session figures common linkout bypos"
    [overview]="io dataset browse session figures common linkout overview"
)

status=0
for layer in "${!allowed[@]}"; do
    while IFS= read -r hit; do
        used=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$hit")
        case " ${allowed[$layer]} " in
        *" $used "*) ;;
        *) echo "layer $layer includes $used/: $hit"; status=1 ;;
        esac
    done < <(grep -rnE '^#include "[a-z]+/' "src/$layer" 2>/dev/null)
done
[ $status -eq 0 ] && echo "layers: every include points down"
exit $status
