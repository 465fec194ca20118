# shellcheck shell=bash
# Sourced by the scripts that cross-build a Debian source package for Windows.
#
#   debian_source PACKAGE FOLDER
#
# Downloads the newest source of PACKAGE that the archives apt uses here serve (security updates included),
# checked by apt against the archive's signatures, into FOLDER, and sets debian_source_version to its version
# and debian_source_dsc to its .dsc. The source lists live in FOLDER/apt, apart from the machine's own.
debian_source() {
    local package=$1 folder=$2 state=$2/apt options
    mkdir -p "$state/lists/partial" "$state/cache/archives/partial"
    apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' |
        awk '$3 == "main" { print "deb-src " $1 " " $2 " main" }' | sort -u >"$state/sources.list"
    options=(-o "Dir::Etc::SourceList=$state/sources.list" -o Dir::Etc::SourceParts=/dev/null
             -o "Dir::State::Lists=$state/lists" -o "Dir::Cache=$state/cache" -o APT::Sandbox::User=root
             -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=)
    # Once a day is enough to see a new release of the package.
    if [ -z "$(find "$state/lists" -maxdepth 1 -name '*Sources*' -mtime -1 -print -quit)" ]; then
        apt-get "${options[@]}" update -qq >&2
    fi
    # Newest first; an older one where a mirror lacks the newest's files.
    for debian_source_version in $(apt-cache "${options[@]}" showsrc "$package" 2>/dev/null |
                                   sed -n 's/^Version: //p' | sort -Vru); do
        debian_source_dsc=$folder/${package}_${debian_source_version#*:}.dsc
        [ -f "$debian_source_dsc" ] && return 0
        (cd "$folder" && apt-get "${options[@]}" source --download-only -qq "$package=$debian_source_version" &>/dev/null) &&
            return 0
        echo "debian_source: $package $debian_source_version cannot be had; trying an older one" >&2
    done
    echo "debian_source: the archive serves no source of $package that can be had" >&2
    return 1
}
