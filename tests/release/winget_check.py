"""Checks a winget manifest set against the installer and what the program writes.

winget_check.py MANIFEST_DIR INSTALLER REGISTRY_TXT EXIT_CODE_HEADER PRODUCT_VERSION_HEADER
winget_check.py --versions MANIFEST_DIR VERSION
    only that every version field is quoted and loads as the text VERSION
"""
import hashlib
import re
import sys

import yaml

MANIFESTS = (("version", "ZIL.ZIL.yaml"), ("defaultLocale", "ZIL.ZIL.locale.en-US.yaml"),
             ("installer", "ZIL.ZIL.installer.yaml"))
# What winget is told of each exit code; None: a success (InstallerSuccessCodes).
RESPONSES = {
    "SETUP_EXIT_CLOSED": "cancelledByUser",
    "SETUP_EXIT_FAILURE": "contactSupport",
    "SETUP_EXIT_BAD_ARCHIVE": "contactSupport",
    "SETUP_EXIT_ALREADY_RUNNING": "installInProgress",
    "SETUP_EXIT_PREVIOUS_VERSION": None,
    "SETUP_EXIT_USAGE": "invalidParameter",
    "SETUP_EXIT_RESTART_REQUIRED": "rebootRequiredToFinish",
}
UNINSTALL_KEY = "hklm\\software\\microsoft\\windows\\currentversion\\uninstall\\"
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def installed_entries(registry_text):
    """The Apps & features entries of the simulated machine's registry: {key name: text values}."""
    entries, values = {}, None
    for line in registry_text.splitlines():
        if line.startswith("["):
            path = line[1:-1]
            name = path[len(UNINSTALL_KEY):]
            inside = path.lower().startswith(UNINSTALL_KEY) and name and "\\" not in name
            values = entries.setdefault(name, {}) if inside else None
            continue
        match = re.match(r'^"([^"]*)"=sz:"([^"]*)"$', line)
        if values is not None and match:
            values[match.group(1)] = match.group(2)
    return entries


def version_nodes(node, name=""):
    """Every scalar under a key that names a version, with its key, as the reader composed it."""
    if isinstance(node, yaml.MappingNode):
        for key, value in node.value:
            yield from version_nodes(value, key.value)
    elif isinstance(node, yaml.SequenceNode):
        for item in node.value:
            yield from version_nodes(item, name)
    elif name.endswith("Version"):
        yield name, node


def load(manifest_dir):
    """The manifests as a YAML 1.1 reader (PyYAML) loads them, after checking their versions'
    form: quoted, and loaded as text. An unquoted 1.10 would be the number 1.1 to it."""
    files = {}
    for kind, name in MANIFESTS:
        text = open(f"{manifest_dir}/{name}", encoding="utf-8").read()
        files[kind] = yaml.safe_load(text)
        for key, node in version_nodes(yaml.compose(text)):
            check(node.style in ('"', "'"), f"{name}: {key} {node.value} is quoted")
        for key in ("PackageVersion", "ManifestVersion"):
            value = files[kind].get(key)
            check(isinstance(value, str), f"{name}: {key} loads as text: {value!r}")
    return files


def installer_version(installer, header):
    """The product version the installer names, after the prefix res/ProductVersion.h.in gives."""
    prefix = re.search(r'^#define ZIL_PRODUCT_VERSION_MARK_PREFIX "([^"]*)"$',
                       open(header).read(), re.M).group(1)
    found = set(re.findall(re.escape(prefix.encode()) + rb"(\d+(?:\.\d+)+)\0",
                           open(installer, "rb").read()))
    found = sorted(v.decode() for v in found)
    check(len(found) == 1, f"the installer names one product version: {found}")
    return found[0] if len(found) == 1 else None


def main(manifest_dir, installer, registry, header, version_header):
    files = load(manifest_dir)
    for kind, name in MANIFESTS:
        check(files[kind]["ManifestType"] == kind, f"{name} is the {kind} manifest")
        check(tuple(int(n) for n in str(files[kind]["ManifestVersion"]).split(".")) >= (1, 6),
              f"{name} uses schema 1.6 or later")
    entries = installed_entries(open(registry, encoding="latin-1").read())
    check(len(entries) == 1, f"the install writes one Apps & features entry: {sorted(entries)}")
    key, entry = next(iter(entries.items()), (None, {}))
    version, locale, inst = files["version"], files["defaultLocale"], files["installer"]
    ids = {f["PackageIdentifier"] for f in files.values()}
    versions = {f["PackageVersion"] for f in files.values()}
    inside = installer_version(installer, version_header)
    check(ids == {"ZIL.ZIL"}, f"one package identifier: {ids}")
    check(versions == {inside}, f"package version {versions} is the installer's {inside}")
    displayed = entry.get("DisplayVersion")
    check(versions == {displayed},
          f"package version {versions} is the installed DisplayVersion {displayed}")
    check(version["DefaultLocale"] == locale["PackageLocale"], "the default locale is described")
    check(locale["PackageName"] == entry.get("DisplayName"), "package name is the DisplayName")
    check(locale["Publisher"] == entry.get("Publisher"), "publisher is the entry's Publisher")
    for field in ("License", "ShortDescription"):
        check(bool(locale.get(field)), f"the locale has a {field}")

    digest = hashlib.sha256(open(installer, "rb").read()).hexdigest().upper()
    installers = inst["Installers"]
    check(len(installers) == 1 and installers[0]["InstallerSha256"] == digest,
          f"the installer's SHA-256 is {digest}")
    check(installers[0]["Architecture"] == "x86", "a 32-bit installer")
    check(inst["InstallerType"] == "exe" and inst["Scope"] == "machine", "exe, for the machine")
    check(inst["ElevationRequirement"] == "elevatesSelf", "it elevates itself")
    check(inst["UpgradeBehavior"] == "install", "an upgrade installs over the old version")
    check(inst["InstallerSwitches"] == {"Silent": "/I", "SilentWithProgress": "/I",
                                        "Log": '/LOG="<LOGPATH>"'},
          f"silent installs with /I, a log where winget asks: {inst['InstallerSwitches']}")
    check(inst.get("ProductCode") == key,
          f"ProductCode {inst.get('ProductCode')!r} is the entry's key name {key!r}")
    apps = inst["AppsAndFeaturesEntries"]
    check(apps == [{"DisplayName": entry.get("DisplayName"), "Publisher": entry.get("Publisher"),
                    "ProductCode": key}],
          f"AppsAndFeaturesEntries match the entry the program writes: {apps}")
    check(all(a.get("DisplayVersion", None) not in versions for a in apps),
          "AppsAndFeaturesEntries leave out a DisplayVersion that is the PackageVersion")

    codes = dict(re.findall(r"^\s*(SETUP_EXIT_[A-Z_]+) = (\d+),", open(header).read(), re.M))
    codes.pop("SETUP_EXIT_SUCCESS")
    expected = {int(codes[name]): RESPONSES[name] for name in codes if RESPONSES[name]}
    successes = {int(codes[name]) for name in codes if RESPONSES[name] is None}
    listed = {c["InstallerReturnCode"]: c["ReturnResponse"] for c in inst["ExpectedReturnCodes"]}
    listed_successes = inst.get("InstallerSuccessCodes") or []
    check(listed == expected, f"every failing exit code is listed with its meaning: {listed}")
    check(sorted(listed_successes) == sorted(successes),
          f"the codes after the work is done are successes: {listed_successes}")
    for code in (1602, 1603, 1618, 1620, 1639, 3010):
        check(code in listed, f"exit code {code} is listed")
    check(1638 in listed_successes and 1638 not in listed,
          "1638 (done, ZIL V1.04 still present) is a success, not a failed install")
    return 1 if failures else 0


def versions_only(manifest_dir, expected):
    files = load(manifest_dir)
    for kind, name in MANIFESTS:
        check(files[kind]["PackageVersion"] == expected, f"{name} says version {expected}")
    return 1 if failures else 0


if __name__ == "__main__":
    if sys.argv[1:2] == ["--versions"]:
        sys.exit(versions_only(*sys.argv[2:]))
    sys.exit(main(*sys.argv[1:]))
