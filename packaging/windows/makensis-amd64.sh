#!/bin/sh
# makensis for a 64-bit, Unicode setup program.
exec makensis -XUnicode\ true -XTarget\ amd64-unicode "$@"
