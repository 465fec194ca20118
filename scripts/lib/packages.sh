# shellcheck shell=bash
# Sourced by the scripts that install what they need from Debian's archive.
#
#   install_missing [-q|-qq] PACKAGE...
#
# Installs those of the named packages that this machine lacks, without their recommended packages, through
# sudo unless run as root, and sets newly_installed to their names; does nothing more when all are there.
# apt-get install is as quiet as the option says (-qq by default); what it says goes to stdout, which the
# caller may redirect, and the names it installs to stderr.
install_missing() {
    local quiet=-qq package sudo=()
    case ${1:-} in -q | -qq) quiet=$1 && shift ;; esac
    newly_installed=()
    for package; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            newly_installed+=("$package")
    done
    [ ${#newly_installed[@]} -gt 0 ] || return 0
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${newly_installed[*]}" >&2
    # Another script of this tree may be installing at the same time (CI overlaps its steps): wait for it.
    "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=900 update -qq
    # Through env, as sudo clears the environment it is given.
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get -o DPkg::Lock::Timeout=900 install -y "$quiet" --no-install-recommends "${newly_installed[@]}"
}
