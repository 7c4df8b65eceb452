# shellcheck shell=bash
# Shared by the package checks (sourced): the installed program's answers to
# --check-package for two firmware packages made here, one valid (two blocks
# with their sums and the total) and one with a data byte changed after its
# block sum was taken. Usage: check_package_reports WORKDIR PROGRAM [ARGS...]
# (PROGRAM ARGS... is how the program is run); calls fail on a wrong answer.
check_package_reports() {
  local work=$1
  shift
  perl -e '
    sub block { my ($tag, $data) = @_; my $sum = unpack("%32C*", $data); return (pack("C", $tag) . $data . pack("V", $sum), $sum); }
    my ($b1, $s1) = block(0x40, join("", map { chr($_ % 251) } 0 .. 4095));
    my ($b2, $s2) = block(0x41, "\xFF" x 4096);
    my $good = ".PK1\x00" . $b1 . $b2 . pack("CV", 0xFF, $s1 + $s2);
    open(my $f, ">", "$ARGV[0]/good.pk1") or die; binmode $f; print $f $good; close $f;
    substr($good, 5 + 1 + 100, 1) = "\x00";
    open($f, ">", "$ARGV[0]/bad.pk1") or die; binmode $f; print $f $good; close $f;
  ' "$work"
  local out err status=0
  out=$("$@" --check-package "$work/good.pk1") || fail "a valid package was rejected: $out"
  grep -q '^  blocks: 2$' <<<"$out" || fail "unexpected report for a valid package: $out"
  err=$("$@" --check-package "$work/bad.pk1" 2>&1 >/dev/null) || status=$?
  [ "$status" -eq 1 ] || fail "a corrupt package gave exit status $status, not 1"
  [ "$err" = "$(printf 'Data consistency check failed while processing file:\n  %s' "$work/bad.pk1")" ] ||
    fail "unexpected message for a corrupt package: $err"
}
