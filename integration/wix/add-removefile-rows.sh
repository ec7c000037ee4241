#!/bin/sh
# Adds to a package built with Debian's wixl the RemoveFile rows that
# VantrelTools.wxs holds but wixl (0.101) cannot read: the four manifests and
# __shortcutsweep.bat, removed from the tools' folder on install and on
# removal by the component VantrelToolsLeftovers. Build the package with
# -D VantrelNoRemoveFile=1, then run this once on it.
#
# Usage: add-removefile-rows.sh PACKAGE.msi [FOLDER_ID]
#   FOLDER_ID: the Directory Id given to VantrelToolsFolder (INSTALLFOLDER
#   if left out).
# Needs msibuild and msiinfo (Debian: msitools).
set -eu
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 PACKAGE.msi [FOLDER_ID]" >&2
    exit 2
fi
msi="$1"
folder="${2:-INSTALLFOLDER}"
for tool in msibuild msiinfo; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing (apt-get install msitools)" >&2; exit 1; }
done
# The rows belong to the include's component, in the folder it was given.
if ! msiinfo export "$msi" Component | tr -d '\r' |
    awk -F'\t' -v dir="$folder" '$1 == "VantrelToolsLeftovers" && $3 == dir { found = 1 } END { exit !found }'; then
    echo "$0: $msi has no component VantrelToolsLeftovers in the folder $folder (was VantrelTools.wxs included, with VantrelToolsFolder = $folder?)" >&2
    exit 1
fi
if msiinfo export "$msi" RemoveFile | tr -d '\r' | grep -q '^VantrelManifestEn	'; then
    echo "$0: $msi has the rows already" >&2
    exit 1
fi
row() { # key, file name
    # InstallMode 3: on install and on removal.
    msibuild "$msi" -q "INSERT INTO \`RemoveFile\` (\`FileKey\`, \`Component_\`, \`FileName\`, \`DirProperty\`, \`InstallMode\`) VALUES ('$1', 'VantrelToolsLeftovers', '$2', '$folder', 3)"
}
row VantrelManifestEn __shortcutsweep-en.ini
row VantrelManifestDe __shortcutsweep-de.ini
row VantrelManifestFr __shortcutsweep-fr.ini
row VantrelManifestJa __shortcutsweep-ja.ini
row VantrelSweepBat __shortcutsweep.bat
