#!/bin/sh
# Doxygen's input filter for the Markdown pages: doxygen reads an entity such as "&amp;" inside a
# code span as the character it names, where GitHub shows it as written; escaping its "&" makes
# doxygen show it as written too.
exec sed -e 's/&\([A-Za-z][A-Za-z0-9]*;\|#[0-9][0-9]*;\|#x[0-9A-Fa-f][0-9A-Fa-f]*;\)/\&amp;\1/g' "$1"
