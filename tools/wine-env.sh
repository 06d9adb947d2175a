# Sourced by the scripts that run the Windows build under Wine: a private
# prefix of the project, quiet, and the locales Wine needs to pick code pages.
# Wine takes its ANSI/OEM code pages from LANG, but only for locales that
# exist; the machines ship none but C, so they are generated here.
_upd_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${UPD_WINEPREFIX:-$_upd_root/build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32
export LOCPATH=$_upd_root/build/locales
export LANG=${UPD_WINE_LANG:-zh_CN.UTF-8}
unset DISPLAY

upd_wine_prepare() {
  mkdir -p "$LOCPATH" "$(dirname "$WINEPREFIX")"
  (
    flock 9
    for loc in zh_CN en_US; do
      [ -d "$LOCPATH/$loc.UTF-8" ] || localedef -i "$loc" -f UTF-8 "$LOCPATH/$loc.UTF-8" 2>/dev/null || true
    done
    if [ ! -f "$WINEPREFIX/.upd-ready" ]; then
      wineboot -i >/dev/null 2>&1 || true
      wineserver -w
      touch "$WINEPREFIX/.upd-ready"
    fi
  ) 9>"$(dirname "$WINEPREFIX")/.wine-setup.lock"
  # A running server keeps later starts fast and stops service processes
  # from holding our output pipes open.
  wineserver -p >/dev/null 2>&1 || true
}
