"""Checks a winget manifest set against the installer and what the program writes.

winget_check.py MANIFEST_DIR INSTALLER REGISTRY_TXT EXIT_CODE_HEADER
"""
import hashlib
import re
import sys

import yaml

RESPONSES = {
    "SETUP_EXIT_CLOSED": "cancelledByUser",
    "SETUP_EXIT_FAILURE": "contactSupport",
    "SETUP_EXIT_BAD_ARCHIVE": "contactSupport",
    "SETUP_EXIT_ALREADY_RUNNING": "installInProgress",
    "SETUP_EXIT_PREVIOUS_VERSION": "alreadyInstalled",
    "SETUP_EXIT_USAGE": "invalidParameter",
    "SETUP_EXIT_RESTART_REQUIRED": "rebootRequiredToFinish",
}
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def entry_values(registry_text):
    """The text values of the Apps & features entry, from the simulated machine's registry."""
    values, inside = {}, False
    for line in registry_text.splitlines():
        if line.startswith("["):
            inside = line.lower() == (
                "[hklm\\software\\microsoft\\windows\\currentversion\\uninstall\\zil]")
            continue
        match = re.match(r'^"([^"]*)"=sz:"([^"]*)"$', line)
        if inside and match:
            values[match.group(1)] = match.group(2)
    return values


def main(manifest_dir, installer, registry, header):
    files = {}
    for kind, name in (("version", "ZIL.ZIL.yaml"), ("defaultLocale", "ZIL.ZIL.locale.en-US.yaml"),
                       ("installer", "ZIL.ZIL.installer.yaml")):
        with open(f"{manifest_dir}/{name}", encoding="utf-8") as f:
            files[kind] = yaml.safe_load(f)
        check(files[kind]["ManifestType"] == kind, f"{name} is the {kind} manifest")
        check(tuple(int(n) for n in str(files[kind]["ManifestVersion"]).split(".")) >= (1, 6),
              f"{name} uses schema 1.6 or later")
    entry = entry_values(open(registry, encoding="latin-1").read())
    version, locale, inst = files["version"], files["defaultLocale"], files["installer"]
    ids = {f["PackageIdentifier"] for f in files.values()}
    versions = {str(f["PackageVersion"]) for f in files.values()}
    check(ids == {"ZIL.ZIL"}, f"one package identifier: {ids}")
    check(versions == {entry.get("DisplayVersion")},
          f"package version {versions} is the installed DisplayVersion {entry.get('DisplayVersion')}")
    check(version["DefaultLocale"] == locale["PackageLocale"], "the default locale is described")
    check(locale["PackageName"] == entry.get("DisplayName"), "package name is the DisplayName")
    check(locale["Publisher"] == entry.get("Publisher"), "publisher is the entry's Publisher")
    for key in ("License", "ShortDescription"):
        check(bool(locale.get(key)), f"the locale has a {key}")

    digest = hashlib.sha256(open(installer, "rb").read()).hexdigest().upper()
    installers = inst["Installers"]
    check(len(installers) == 1 and installers[0]["InstallerSha256"] == digest,
          f"the installer's SHA-256 is {digest}")
    check(installers[0]["Architecture"] == "x86", "a 32-bit installer")
    check(inst["InstallerType"] == "exe" and inst["Scope"] == "machine", "exe, for the machine")
    check(inst["ElevationRequirement"] == "elevatesSelf", "it elevates itself")
    check(inst["UpgradeBehavior"] == "install", "an upgrade installs over the old version")
    check(inst["InstallerSwitches"] == {"Silent": "/I", "SilentWithProgress": "/I"},
          "silent installs with /I")
    apps = inst["AppsAndFeaturesEntries"]
    check(apps == [{"DisplayName": entry.get("DisplayName"), "Publisher": entry.get("Publisher"),
                    "DisplayVersion": entry.get("DisplayVersion")}],
          f"AppsAndFeaturesEntries match the entry the program writes: {apps}")

    codes = dict(re.findall(r"^\s*(SETUP_EXIT_[A-Z_]+) = (\d+),", open(header).read(), re.M))
    expected = {int(codes[name]): RESPONSES[name] for name in codes if name != "SETUP_EXIT_SUCCESS"}
    listed = {c["InstallerReturnCode"]: c["ReturnResponse"] for c in inst["ExpectedReturnCodes"]}
    check(listed == expected, f"every exit code but 0 is listed with its meaning: {listed}")
    for code in (1602, 1603, 1618, 1620, 1638, 1639, 3010):
        check(code in listed, f"exit code {code} is listed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
