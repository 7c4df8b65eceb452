#!/usr/bin/env bash
# The installer under Wine (run by scripts/windows-test in its Wine prefix and
# on a virtual X server): installs silently, starts the installed program from
# its folder alone with Qt's Windows platform plugin, starts it again (the
# second start must end at once and leave the first running), closes it
# (settings written as REG_DWORD and REG_SZ), uninstalls silently and checks
# that nothing but the settings is left.
# Usage: installed-program.sh vorlinq-VERSION-setup.exe
set -euo pipefail
setup=$1
unset WINEQT_QPA_PLATFORM WINEPATH
fail() { echo "installed-program: $*" >&2; exit 1; }

wine "$setup" /S
wineserver -w
folder="$WINEPREFIX/drive_c/Program Files/Vorlinq"
for f in vorlinq.exe uninstall.exe platforms/qwindows.dll styles/qwindowsvistastyle.dll; do
  [ -f "$folder/$f" ] || fail "not installed: $f"
done
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vorlinq.lnk"
[ -f "$menu" ] || fail "no Start-menu entry"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vorlinq'
listed=$(wine reg query "$uninstall_key")
for v in DisplayName DisplayVersion Publisher EstimatedSize UninstallString; do
  grep -q "$v" <<<"$listed" || fail "Apps and features lacks $v"
done

# From the installed folder alone: nothing on WINEPATH, Qt's Windows platform.
cd "$folder"
wine 'C:\Program Files\Vorlinq\vorlinq.exe' --simulator &
first=$!
for _ in $(seq 120); do
  xdotool search --name '^Vorlinq - ' >/dev/null 2>&1 && break
  kill -0 $first 2>/dev/null || fail "the installed program ended at start (a DLL or plugin missing?)"
  sleep 0.5
done
xdotool search --name '^Vorlinq - ' >/dev/null || fail "the installed program showed no window"

timeout 60 wine 'C:\Program Files\Vorlinq\vorlinq.exe' --simulator || fail "the second start did not end by itself"
kill -0 $first 2>/dev/null || fail "the second start ended the first copy"

wine taskkill /im vorlinq.exe >/dev/null 2>&1 || true
for _ in $(seq 60); do
  kill -0 $first 2>/dev/null || break
  sleep 0.5
done
kill -0 $first 2>/dev/null && fail "the program did not close"
wait $first || fail "the program ended with an error"

settings='HKCU\Software\Maravel\Vorlinq'
stored=$(wine reg query "$settings" | tr -d '\r')
for typed in 'ApplicationPresetItem +REG_DWORD' 'ApplicationKeypadVisible +REG_DWORD +0x[01]$' 'FTDI_ID_String +REG_SZ'; do
  grep -Eq "$typed" <<<"$stored" || fail "the settings lack: $typed"
done

cd /
wine 'C:\Program Files\Vorlinq\uninstall.exe' /S
wineserver -w
[ ! -e "$folder" ] || fail "left behind: $(find "$folder" | head -n5)"
[ ! -e "$menu" ] || fail "the Start-menu entry was left behind"
wine reg query "$uninstall_key" >/dev/null 2>&1 && fail "still listed in Apps and features"
wine reg query "$settings" >/dev/null 2>&1 || fail "the uninstaller removed the user's settings"
echo "installed-program: installed, ran, closed and uninstalled; the settings stayed"
