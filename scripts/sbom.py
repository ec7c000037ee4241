#!/usr/bin/env python3
"""Writes the release's bill of materials (CycloneDX 1.6, JSON).

Usage: sbom.py --stage DIR --build DIR --name NAME --version VERSION
               --program FILE VERSION DESCRIPTION LINKER_MAP (one per program)
               [--file FILE ...] [--epoch SECONDS] [--commit COMMIT]

FILE is a path inside the stage folder, as it lies in the zip. The bill
lists:
  - each program, with its version and the SHA-256 of the file in the stage
    folder (the signed file, where the release signs);
  - each component of code we did not write that the linker put into a
    program: the input files named in the program's linker map whose
    sections were placed in the program (a member pulled in and then
    discarded whole does not count), grouped by the component they belong
    to, with the Debian package they came from (dpkg), its exact version,
    the component's licence and its supplier;
  - each --file, with its SHA-256.
An input that is neither the build's own nor a known component stops the
run: the bill never leaves out what a program contains.

The output depends only on its inputs: no clock, no random number. The
time stamp is --epoch (the commit's time, or SOURCE_DATE_EPOCH), and the
serial number a name-based UUID of the bill's own content.
"""
import argparse
import functools
import hashlib
import json
import os
import re
import subprocess
import sys
import uuid
from datetime import datetime, timezone

# The components a static mingw-w64 program takes in from the tool chain:
# which input files belong to each (a pattern on the file's normalised
# path, and one on the Debian package that holds it), who made it, and its licence as an SPDX expression. The licences
# are those Debian's copyright file gives for the sources of each library
# (headers, tools and tests left out); LicenseRef- names terms that have no
# SPDX identifier there: public domain, and the gdtoa (Lucent, David Gay)
# and printf (Keith Marshall) notices of the runtime.
COMPONENTS = [
    {
        "name": "winpthreads",
        "files": r"^/usr/i686-w64-mingw32/lib/lib(win)?pthread\.a$",
        "package": r"^mingw-w64-i686-dev$",
        "description": "POSIX threads for Windows, from the mingw-w64 project",
        "manufacturer": ("the mingw-w64 project", "https://www.mingw-w64.org/"),
        "licence": "MIT AND BSD-3-Clause AND LicenseRef-public-domain",
    },
    {
        "name": "mingw-w64-crt",
        "files": r"^/usr/i686-w64-mingw32/lib/[^/]+\.(a|o)$",
        "package": r"^mingw-w64-i686-dev$",
        "description": "the mingw-w64 C runtime: start-up code, libmingw32, libmingwex, libmoldname "
        "and the import libraries of the system DLLs",
        "manufacturer": ("the mingw-w64 project", "https://www.mingw-w64.org/"),
        "licence": "ZPL-2.1 AND LicenseRef-public-domain AND LicenseRef-Lucent AND LicenseRef-David-Gay "
        "AND SunPro AND LicenseRef-Keith-Marshall AND BSD-2-Clause AND ISC AND BSD-3-Clause",
    },
    {
        "name": "libstdc++",
        "files": r"^/usr/lib/gcc/i686-w64-mingw32/[^/]+/lib(stdc|sup)\+\+\.a$",
        "package": r"^g\+\+-mingw-w64-i686(-posix|-win32)?(-runtime)?$",
        "description": "the GNU C++ standard library, from GCC",
        "manufacturer": ("the GNU Project (GCC)", "https://gcc.gnu.org/"),
        "licence": "GPL-3.0-or-later WITH GCC-exception-3.1",
    },
    {
        "name": "libgcc",
        "files": r"^/usr/lib/gcc/i686-w64-mingw32/[^/]+/(libgcc(_eh)?\.a|crt(begin|end)\.o)$",
        "package": r"^gcc-mingw-w64-i686(-posix|-win32)?(-runtime)?$",
        "description": "GCC's run-time support: libgcc, its exception unwinder (libgcc_eh) "
        "and the start and end objects",
        "manufacturer": ("the GNU Project (GCC)", "https://gcc.gnu.org/"),
        "licence": "GPL-3.0-or-later WITH GCC-exception-3.1",
    },
]

# Output sections that never reach the program file (stripped, or thrown away).
NOT_IN_PROGRAM = re.compile(r"^(/DISCARD/|\.z?debug.*|\.stab.*|\.endjunk)$")
INPUT_SECTION = re.compile(r"^ (\S+)\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*?)\s*$")
INPUT_SECTION_NAME = re.compile(r"^ (\.[^\s()]*|COMMON)\s*$")
INPUT_SECTION_REST = re.compile(r"^\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*?)\s*$")
ARCHIVE_MEMBER = re.compile(r"^(.*\.a)\((.*)\)$")
# Values the linker script itself puts in (LONG 0x0), with no input file.
DATA_STATEMENT = re.compile(r"^(BYTE|SHORT|LONG|QUAD|SQUAD|FILL)\b")
# What ld makes itself (the base relocations) rather than takes in.
MADE_BY_THE_LINKER = {"dll stuff", "linker stubs"}

OURS = {"name": "the Vantrel tools authors"}
OUR_LICENCE = "MIT"


def fail(message):
    sys.exit("sbom: " + message)


def placed_inputs(map_path):
    """The input files (an object, or an archive and a member) of which the
    linker placed at least one non-empty section in the program, from its
    map's "Linker script and memory map" part."""
    placed = set()
    in_memory_map = False
    output_section = None
    pending = False
    with open(map_path, encoding="utf-8", errors="surrogateescape") as lines:
        for line in lines:
            line = line.rstrip("\n")
            if not in_memory_map:
                in_memory_map = line.startswith("Linker script and memory map")
                continue
            if not line:
                continue
            if not line[0].isspace():
                output_section = line.split()[0]
                pending = False
                continue
            if output_section is None or NOT_IN_PROGRAM.match(output_section):
                continue
            match = INPUT_SECTION.match(line)
            if pending and not match:
                match = INPUT_SECTION_REST.match(line)
                size, name = (match.group(1), match.group(2)) if match else (None, None)
            elif match:
                size, name = match.group(2), match.group(3)
            else:
                size = name = None
            pending = False
            if name is not None and not DATA_STATEMENT.match(name):
                if int(size, 16) > 0:
                    placed.add(name)
            elif INPUT_SECTION_NAME.match(line):
                # A long section name stands alone; its address, size and
                # file follow on the next line.
                pending = True
    if not in_memory_map:
        fail(f"{map_path} is not a linker map with a memory map")
    return placed


def dpkg(*args):
    return subprocess.run(["dpkg-query", *args], check=True, capture_output=True, text=True).stdout


@functools.lru_cache(maxsize=None)
def package_of(path):
    """The Debian package that installed a file, and its fields."""
    try:
        owner = dpkg("-S", path).splitlines()[0]
    except subprocess.CalledProcessError:
        fail(f"{path} belongs to no Debian package, and so to no component this bill knows")
    name = owner.split(":", 1)[0].split(",")[0].strip()
    fields = ["Package", "Version", "Architecture", "source:Package", "source:Version", "Maintainer"]
    values = dpkg("-W", "-f=" + "\t".join("${%s}" % f for f in fields), name).split("\t")
    return dict(zip(fields, values))


def os_release():
    values = {}
    with open("/etc/os-release", encoding="utf-8") as f:
        for line in f:
            key, _, value = line.strip().partition("=")
            values[key] = value.strip('"')
    return values


def distro_name(distro):
    """debian-12; a release without a number (testing) by its code name."""
    return distro["ID"] + "-" + distro.get("VERSION_ID", distro.get("VERSION_CODENAME", "unknown"))


def purl(package, distro):
    """A package URL for a Debian binary package, as scanners write it."""
    quote = lambda s: re.sub(r"[^A-Za-z0-9.~_-]", lambda m: "%%%02X" % ord(m.group()), s)
    upstream = package["source:Package"]
    if package["source:Version"] != package["Version"]:
        upstream += "@" + package["source:Version"]
    return (f"pkg:deb/{distro['ID']}/{quote(package['Package'])}@{quote(package['Version'])}"
            f"?arch={quote(package['Architecture'])}&distro={quote(distro_name(distro))}"
            f"&upstream={quote(upstream)}")


def maintainer_contact(maintainer):
    match = re.match(r"^(.*?)\s*<([^>]+)>$", maintainer)
    return {"name": match.group(1), "email": match.group(2)} if match else {"name": maintainer}


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def licences(expression):
    if re.fullmatch(r"[A-Za-z0-9.+-]+", expression):
        return [{"license": {"id": expression, "acknowledgement": "declared"}}]
    return [{"expression": expression, "acknowledgement": "declared"}]


def words(names):
    names = sorted(names)
    return names[0] if len(names) == 1 else ", ".join(names[:-1]) + " and " + names[-1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--stage", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--name", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--program", nargs=4, action="append", required=True,
                        metavar=("FILE", "VERSION", "DESCRIPTION", "LINKER_MAP"))
    parser.add_argument("--file", action="append", default=[])
    parser.add_argument("--epoch")
    parser.add_argument("--commit")
    args = parser.parse_args()
    build = os.path.realpath(args.build)
    distro = os_release()

    # What each program took in, by component and package.
    taken = {}  # (component name, package name) -> {"package", "component", "programs", "archives"}
    for program, _, _, map_path in args.program:
        for name in placed_inputs(map_path):
            if name in MADE_BY_THE_LINKER:
                continue
            member = ARCHIVE_MEMBER.match(name)
            path = member.group(1) if member else name
            # Relative names are the build's: the linker runs in its folder.
            path = os.path.normpath(os.path.join(build, path))
            if not os.path.exists(path):
                fail(f"{program} contains {name}, which is not at {path}: is {build} the folder it was linked in?")
            if os.path.realpath(path).startswith(build + os.sep):
                continue  # the build's own objects and libraries
            package = package_of(path)
            component = next((c for c in COMPONENTS
                              if re.match(c["files"], path) and re.match(c["package"], package["Package"])), None)
            if component is None:
                fail(f"{program} contains {name} (Debian package {package['Package']}), "
                     "which belongs to no component this bill knows")
            entry = taken.setdefault((component["name"], package["Package"]),
                                     {"component": component, "package": package, "programs": set(), "archives": {}})
            entry["programs"].add(program)
            entry["archives"].setdefault(os.path.basename(path), set()).add(member.group(2) if member else None)

    ref = lambda kind, name: f"{kind}:{name}"
    components = []
    dependencies = []
    for program, version, description, _ in args.program:
        components.append({
            "type": "application",
            "bom-ref": ref("program", program),
            "supplier": OURS,
            "name": os.path.splitext(program)[0],
            "version": version,
            "description": description,
            "hashes": [{"alg": "SHA-256", "content": sha256(os.path.join(args.stage, program))}],
            "licenses": licences(OUR_LICENCE),
            "properties": [{"name": "vantrel:file", "value": program}],
        })
        dependencies.append({"ref": ref("program", program),
                             "dependsOn": sorted(ref("component", f"{c}@{p}") for (c, p), e in taken.items()
                                                 if program in e["programs"])})
    for (name, package_name), entry in sorted(taken.items()):
        component, package = entry["component"], entry["package"]
        archives = "; ".join(f"{archive} ({len(members)} {'member' if len(members) == 1 else 'members'})"
                             if members != {None} else archive
                             for archive, members in sorted(entry["archives"].items()))
        components.append({
            "type": "library",
            "bom-ref": ref("component", f"{name}@{package_name}"),
            "supplier": {"name": distro.get("NAME", distro["ID"]), "contact": [maintainer_contact(package["Maintainer"])]},
            "manufacturer": {"name": component["manufacturer"][0], "url": [component["manufacturer"][1]]},
            "name": name,
            "version": package["Version"],
            "description": f"{component['description']}; linked statically into {words(entry['programs'])} "
                           f"from {archives}",
            "scope": "required",
            "licenses": licences(component["licence"]),
            "purl": purl(package, distro),
            "properties": [{"name": "vantrel:debian-package", "value": f"{package_name} {package['Version']}"}],
        })
        dependencies.append({"ref": ref("component", f"{name}@{package_name}"), "dependsOn": []})
    for file in args.file:
        components.append({
            "type": "file",
            "bom-ref": ref("file", file),
            "name": file,
            "hashes": [{"alg": "SHA-256", "content": sha256(os.path.join(args.stage, file))}],
        })

    # The tools that built the programs, from the packages that hold them.
    tools = []
    for command in ("i686-w64-mingw32-g++-posix", "i686-w64-mingw32-ld"):
        found = subprocess.run(["sh", "-c", f'command -v "{command}"'], capture_output=True, text=True).stdout.strip()
        if found:
            package = package_of(os.path.realpath(found))
            tools.append({"type": "application", "name": package["Package"], "version": package["Version"],
                          "purl": purl(package, distro)})

    release = {
        "type": "application",
        "bom-ref": ref("release", args.name),
        "supplier": OURS,
        "name": args.name,
        "version": args.version,
        "licenses": licences(OUR_LICENCE),
    }
    if args.commit:
        release["properties"] = [{"name": "vantrel:commit", "value": args.commit}]
    dependencies.insert(0, {"ref": release["bom-ref"],
                            "dependsOn": [ref("program", p[0]) for p in args.program]})
    metadata = {"lifecycles": [{"phase": "build"}], "tools": {"components": tools}, "component": release}
    if args.epoch:
        stamp = datetime.fromtimestamp(int(args.epoch), timezone.utc)
        metadata = {"timestamp": stamp.strftime("%Y-%m-%dT%H:%M:%SZ"), **metadata}
    body = {"metadata": metadata, "components": components, "dependencies": dependencies}
    serial = uuid.uuid5(uuid.NAMESPACE_URL, "urn:sha256:" + hashlib.sha256(
        json.dumps(body, sort_keys=True).encode()).hexdigest())
    bom = {
        "$schema": "http://cyclonedx.org/schema/bom-1.6.schema.json",
        "bomFormat": "CycloneDX",
        "specVersion": "1.6",
        "serialNumber": f"urn:uuid:{serial}",
        "version": 1,
        **body,
    }
    json.dump(bom, sys.stdout, indent=2, ensure_ascii=False)
    sys.stdout.write("\n")


if __name__ == "__main__":
    main()
