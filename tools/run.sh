#!/usr/bin/env bash
# Installs, builds, creates the picture folders the previews are written to, and starts Corvane.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh default
# Drive C is the home folder on this platform; the program does not create these itself.
for n in 1 2 3; do
    mkdir -p "$HOME/Slide Shows/Screen $n JPG"
done
echo "Sample decks and show script: $(pwd)/build/default/examples"
exec build/default/bin/Corvane "$@"
