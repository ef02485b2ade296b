#!/usr/bin/env bash
# Installs what the programs need (LibreOffice Impress too), builds only the programs, creates
# the picture folders the previews are written to, and starts Corvane.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh run --with-libreoffice
# Drive C is the home folder on this platform; the program does not create these itself.
for n in 1 2 3; do
    mkdir -p "$HOME/Slide Shows/Screen $n JPG"
done
echo "Sample decks and show script: $(pwd)/build/run/examples"
exec build/run/bin/Corvane "$@"
