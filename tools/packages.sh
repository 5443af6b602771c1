# Sourced by the scripts that need Debian packages.
# qsurge_ensure_packages PACKAGE...: installs those not yet installed.
qsurge_ensure_packages() {
    missing=""
    for p in "$@"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
    done
    [ -n "$missing" ] || return 0
    echo "installing:$missing"
    SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
}
