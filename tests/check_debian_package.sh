#!/bin/sh
# Builds the Debian package in this build folder and checks what it holds:
# the binary, the manual page, the license, and a dependency on the UCL
# runtime; then runs the packaged binary.
set -eu
cpack=$1
rm -rf package-check && mkdir package-check
"$cpack" -G DEB -B package-check >package-check/cpack.log 2>&1 || { cat package-check/cpack.log; exit 1; }
deb=$(ls package-check/qnvtab_*.deb)

contents=$(dpkg-deb -c "$deb")
info=$(dpkg-deb -I "$deb")
fail=0
for path in ./usr/bin/qnvtab ./usr/share/man/man1/qnvtab.1 ./usr/share/doc/qnvtab/copyright; do
  echo "$contents" | grep -q " $path\$" || { echo "missing $path"; fail=1; }
done
for field in "Package: qnvtab" "Version: 1.0.0" "Architecture: $(dpkg --print-architecture)" \
             "Section: utils" "Maintainer: "; do
  echo "$info" | grep -q "^ $field" || { echo "no '$field'"; fail=1; }
done
echo "$info" | grep -Eq '^ Depends: .*libucl1 \(>= [0-9]' || { echo "no dependency on libucl1"; fail=1; }
echo "$contents" | grep -q "rwxr-xr-x root/root .* ./usr/bin/qnvtab\$" || { echo "binary not root's and executable"; fail=1; }

dpkg-deb -x "$deb" package-check/root
version=$(package-check/root/usr/bin/qnvtab --version)
[ "$version" = "qnvtab 1.0.0" ] || { echo "packaged binary says '$version'"; fail=1; }
LC_ALL=C MANWIDTH=80 man -l package-check/root/usr/share/man/man1/qnvtab.1 | grep -q "TRACE.XLS" ||
  { echo "packaged manual page does not render"; fail=1; }
[ $fail -eq 0 ] || { echo "$info"; echo "$contents"; }
exit $fail
