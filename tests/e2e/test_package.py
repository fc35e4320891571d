"""What ships: the version resource and manifest of zebcfg.exe, the Debian
package of the native build (unpacked and run), the man pages and the bash
completion."""

import json
import os
import re
import shutil
import subprocess
import time
import zipfile

import pytest

from harness import NATIVE_DIR, REPO, WIN_DIR

VERSION = re.search(r"project\(zebcfg VERSION ([0-9]+\.[0-9]+\.[0-9]+)",
                    (REPO / "CMakeLists.txt").read_text()).group(1)

MANIFESTS = ["zeb.serial.device.dsc.resource.json",
             "zeb.serial.propertymapentry.dsc.resource.json"]
DSC_SCHEMA = REPO.parent / "shared" / "dsc" / "resource-manifest.v3.1.0.schema.json"

# The supportedOS ids of Windows Vista, 7, 8, 8.1 and 10.
SUPPORTED_OS = ["e2011457-1546-43c5-a5fe-008deee3d3f0",
                "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"]


@pytest.mark.only_on("wine", reason="the version resource and the manifest "
                     "are parts of the Windows executable")
def test_zebcfg_exe_carries_the_cmake_version_and_its_manifest(plat):
    r = plat.run(plat.exe_path("zebcfg"), exe="resinfo")
    assert r.code == 0, r
    lines = r.out.split("\n")
    assert lines[:4] == [f"fixed: {VERSION}.0 {VERSION}.0", "ProductName: zebcfg",
                         f"FileVersion: {VERSION}", f"ProductVersion: {VERSION}"], r
    manifest = r.out.split("manifest:\n", 1)[1]
    assert re.search(r'<requestedExecutionLevel level="asInvoker"', manifest)
    assert re.findall(r'<supportedOS Id="\{([0-9a-f-]+)\}"', manifest) == SUPPORTED_OS


# ----- the DSC resource manifests -----

@pytest.mark.parametrize("name", MANIFESTS)
def test_dsc_manifests_carry_what_dsc_calls_and_its_schema_admits(name):
    manifest = json.loads((REPO / "packaging" / "dsc" / name).read_text())
    assert manifest["$schema"] == ("https://aka.ms/dsc/schemas/v3/bundled/"
                                   "resource/manifest.json")
    assert re.fullmatch(r"Zeb\.Serial/\w+", manifest["type"])
    assert manifest["version"] == VERSION
    kind = manifest["get"]["args"][1]
    json_input = {"jsonInputArg": "--input", "mandatory": True}
    for method in ("get", "set", "test", "whatIf"):
        assert manifest[method]["executable"] == "zebstate"
        assert manifest[method]["args"][-1] == json_input, method
    assert manifest["set"]["args"] == ["set", kind, json_input]
    assert {k: manifest["set"][k] for k in ("implementsPretest", "handlesExist",
                                            "return")} == {
        "implementsPretest": True, "handlesExist": True,
        "return": "stateAndDiff"}
    assert "--what-if" in manifest["whatIf"]["args"]
    assert manifest["test"]["return"] == "state"
    assert manifest["schema"]["command"] == {"executable": "zebstate",
                                             "args": ["schema", kind]}
    assert sorted(manifest["exitCodes"], key=int) == [str(n) for n in range(8)]
    jsonschema = pytest.importorskip("jsonschema")
    if not DSC_SCHEMA.exists():
        pytest.skip(f"DSC's published manifest schema is not at {DSC_SCHEMA}")
    jsonschema.validate(manifest, json.loads(DSC_SCHEMA.read_text()))


# ----- the Debian package and the Windows zip (make package) -----

PACKAGE_DIR = REPO / "build" / "package"
NOT_BUILT = "build/package holds no packages (make package)"


def built(pattern):
    found = sorted(PACKAGE_DIR.glob(pattern))
    if not found:
        pytest.skip(NOT_BUILT)
    return found[-1]


def run(argv, env, cwd=None):
    return subprocess.run([str(a) for a in argv], env=env, cwd=cwd,
                          stdin=subprocess.DEVNULL, capture_output=True,
                          text=True, timeout=60)


def test_the_debian_package_installs_and_provisions(tmp_path):
    deb = built("zebcfg_*.deb")
    field = run(["dpkg-deb", "-f", deb, "Version"], os.environ)
    assert field.stdout.strip() == VERSION
    root = tmp_path / "installed"
    assert run(["dpkg-deb", "-x", deb, root], os.environ).returncode == 0
    for path in ["usr/bin/zebcfg", "usr/bin/zebreg", "usr/bin/zebinstall",
                 "usr/bin/zebstate", *(f"usr/bin/{m}" for m in MANIFESTS),
                 "usr/share/man/man1/zebcfg.1.gz", "usr/share/man/man1/zebreg.1.gz",
                 "usr/share/man/man1/zebinstall.1.gz",
                 "usr/share/man/man1/zebstate.1.gz",
                 "usr/share/bash-completion/completions/zebcfg",
                 "usr/share/doc/zebcfg/examples/zebsetup.inf",
                 "usr/share/doc/zebcfg/copyright",
                 "usr/share/doc/zebcfg/durability.md",
                 "usr/share/doc/zebcfg/changelog.gz"]:
        assert (root / path).exists(), path
    # The store's folder is made by the postinst, so that it is none of the
    # package's files (see the life cycle below).
    assert not (root / "var").exists()
    env = dict(os.environ, ZEBCFG_ROOT=str(tmp_path / "store"))
    bin_dir = root / "usr" / "bin"
    r = run([bin_dir / "zebinstall",
             root / "usr/share/doc/zebcfg/examples/zebsetup.inf"], env)
    assert r.returncode == 0, r
    assert (tmp_path / "store" / "inf" / "zebsetup.inf").exists()
    assert run([bin_dir / "zebcfg", "a", "COM7", "Port.Transport=serial"],
               env).returncode == 0
    r = run([bin_dir / "zebcfg", "l"], env)
    assert (r.stdout, r.returncode) == ("Configured devices:\n    COM7\n", 0)
    r = run([bin_dir / "zebinstall", "--version"], env)
    assert r.stdout == f"zebinstall {VERSION}\n"
    r = run([bin_dir / "zebstate", "get", "device", "--input",
             '{"name": "com7"}'], env)
    assert (json.loads(r.stdout)["_exist"], r.returncode) == (True, 0), r
    for manifest in MANIFESTS:
        assert json.loads((bin_dir / manifest).read_text())["version"] == VERSION


def dpkg(root, *args):
    """Real dpkg on the throwaway root: its own database and log, the
    maintainer scripts run outside a chroot with DPKG_ROOT set, the
    dependencies (which the root lacks) taken as met."""
    env = dict(os.environ, PATH=os.environ["PATH"] + ":/usr/sbin:/sbin")
    return run(["dpkg", f"--root={root}", f"--log={root}/dpkg.log",
                "--force-script-chrootless", "--force-depends",
                "--force-not-root", *args], env)


def test_the_debian_package_keeps_the_store_over_a_remove_and_purges_it(tmp_path):
    deb = built("zebcfg_*.deb")
    root = tmp_path / "root"
    (root / "var/lib/dpkg/updates").mkdir(parents=True)
    (root / "var/lib/dpkg/info").mkdir()
    (root / "var/lib/dpkg/status").write_text("")
    store = root / "var/lib/zebcfg"
    env = dict(os.environ, ZEBCFG_ROOT=str(store))
    bin_dir = root / "usr" / "bin"

    def installed():
        return run(["dpkg-query", f"--admindir={root}/var/lib/dpkg", "-W",
                    "-f=${db:Status-Status}", "zebcfg"], os.environ).stdout

    r = dpkg(root, "-i", deb)
    assert r.returncode == 0, r
    assert store.is_dir() and installed() == "installed"
    r = run([bin_dir / "zebinstall",
             root / "usr/share/doc/zebcfg/examples/zebsetup.inf"], env)
    assert r.returncode == 0, r
    assert run([bin_dir / "zebcfg", "a", "COM7", "Port.Transport=serial"],
               env).returncode == 0

    r = dpkg(root, "-r", "zebcfg")
    assert r.returncode == 0 and "warning" not in r.stderr, r
    assert not (bin_dir / "zebcfg").exists()
    assert (store / "registry.db").exists() and installed() == "config-files"

    assert dpkg(root, "-i", deb).returncode == 0
    r = run([bin_dir / "zebcfg", "l"], env)
    assert (r.stdout, r.returncode) == ("Configured devices:\n    COM7\n", 0)

    r = dpkg(root, "-P", "zebcfg")
    assert r.returncode == 0 and "warning" not in r.stderr, r
    assert not store.exists() and installed() == ""


@pytest.mark.parametrize("program", ["zebcfg", "zebreg", "zebinstall",
                                     "zebstate"])
def test_shipped_native_programs_carry_no_fault_injection(program):
    # The packaged programs are stripped; the build they come from is not.
    binary = NATIVE_DIR / program
    if not binary.exists():
        pytest.skip(f"{binary} is not built")
    r = run(["nm", "--demangle", binary], os.environ)
    assert r.returncode == 0, r.stderr
    seam = re.findall(r"\b(?:fault_|live_handle)\w*", r.stdout)
    assert not seam, sorted(set(seam))


def test_lintian_finds_no_error_or_warning_and_depends_carry_versions():
    deb = built("zebcfg_*.deb")
    r = run(["lintian", "-L", ">=classification", deb], os.environ)
    lines = r.stdout.splitlines()
    # lintian exits 2 on findings and when it cannot run: this line shows
    # that it read the package.
    assert f"C: zebcfg: trimmed-field Version {VERSION}" in lines, r
    assert [line for line in lines if line.startswith(("E:", "W:"))] == []
    depends = run(["dpkg-deb", "-f", deb, "Depends"], os.environ).stdout
    names = [d.split()[0] for d in depends.split(",")]
    assert {"libc6", "libsqlite3-0", "libstdc++6"} <= set(names), depends
    assert all(re.fullmatch(r"\S+ \(>= [^)]+\)", d.strip())
               for d in depends.split(",")), depends


# A throwaway CA, a code-signing certificate it issued that is valid for one
# day, and a time-stamp authority's certificate it issued for ten years.
CERT_EXTENSIONS = """[signer]
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
[tsa]
keyUsage = critical,digitalSignature
extendedKeyUsage = critical,timeStamping
"""
SIGNER_DAYS = 1


@pytest.fixture(scope="module")
def throwaway_pki(tmp_path_factory):
    folder = tmp_path_factory.mktemp("pki")
    extensions = folder / "extensions.cnf"
    extensions.write_text(CERT_EXTENSIONS)

    def openssl(*args):
        r = run(["openssl", *args], os.environ)
        assert r.returncode == 0, r.stderr

    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
            folder / "ca.key", "-out", folder / "ca.pem", "-days", "3650",
            "-subj", "/CN=zebcfg throwaway CA", "-addext",
            "basicConstraints=critical,CA:true")
    for name, days in (("signer", SIGNER_DAYS), ("tsa", 3650)):
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout",
                folder / f"{name}.key", "-out", folder / f"{name}.csr",
                "-subj", f"/CN=zebcfg throwaway {name}")
        openssl("x509", "-req", "-in", folder / f"{name}.csr", "-CA",
                folder / "ca.pem", "-CAkey", folder / "ca.key",
                "-CAcreateserial", "-days", str(days), "-out",
                folder / f"{name}.pem", "-extfile", extensions,
                "-extensions", name)
    return {"SIGN_CERT": folder / "signer.pem", "SIGN_KEY": folder / "signer.key",
            "SIGN_CA": folder / "ca.pem", "SIGN_TSA_CERT": folder / "tsa.pem",
            "SIGN_TSA_KEY": folder / "tsa.key"}


def verify(path, ca, at=None):
    """osslsigncode verify of path against ca, now or at the Unix time at."""
    when = ["-time", str(at)] if at is not None else []
    r = run(["osslsigncode", "verify", "-CAfile", ca, "-TSA-CAfile", ca, *when,
             "-in", path], os.environ)
    return r.returncode == 0 and "Signature verification: ok" in r.stdout, \
        r.stdout + r.stderr


SIGNED = ("SIGN_CERT", "SIGN_KEY", "SIGN_CA")


# package.sh signs every PE file and the MSI with a certificate and key
# given together, time-stamped by the authority given; a time-stamped
# signature outlives its certificate, an untimestamped one does not. With
# neither it signs nothing; a signature that does not verify fails it.
@pytest.mark.skipif(not (WIN_DIR / "zebcfg.exe").exists(),
                    reason="the Windows build is missing")
@pytest.mark.parametrize("given, outcome", [
    (SIGNED, "signed"),
    (SIGNED + ("SIGN_TSA_CERT", "SIGN_TSA_KEY"), "time-stamped"),
    ((), "unsigned"),
    (("SIGN_CERT",), "package: SIGN_CERT and SIGN_KEY are needed together"),
    (SIGNED + ("SIGN_TSA_CERT",),
     "package: SIGN_TSA_CERT and SIGN_TSA_KEY are needed together"),
    (("SIGN_CERT", "SIGN_KEY"), "package: the signature of zebcfg.exe does "
     "not verify (SIGN_CA: the CA certificates it chains to)"),
], ids=["both", "local-authority", "neither", "cert-alone", "tsa-cert-alone",
        "issuer-unknown"])
def test_sign_cert_and_key_sign_the_exe_and_the_msi(tmp_path, throwaway_pki,
                                                    given, outcome):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith("SIGN_") and k != "PACKAGE_VERSION"}
    env.update({name: str(throwaway_pki[name]) for name in given})
    env.update(ZEBCFG_WIN_DIR=str(WIN_DIR), PACKAGE_OUT=str(tmp_path / "out"))
    r = run([REPO / "scripts" / "package.sh", "msi"], env)
    msi = tmp_path / "out" / f"zebcfg-{VERSION}-x64.msi"
    if outcome.startswith("package: "):
        assert r.returncode == 1
        assert r.stderr.splitlines()[-1] == outcome, r.stderr
        assert sorted(os.listdir(tmp_path / "out")) == []
        return
    assert r.returncode == 0, r.stderr
    extracted = tmp_path / "extracted"
    assert run(["msiextract", "-C", extracted, msi], env).returncode == 0
    # The installed files, and the custom action's DLL in the Binary table.
    assert run(["msidump", "-s", "-d", extracted, msi], env).returncode == 0
    programs = [f for f in extracted.rglob("*")
                if f.is_file() and f.read_bytes()[:2] == b"MZ"]
    assert {extracted / "Zeb" / "zebcfg" / "zebcfg.exe",
            extracted / "_Streams" / "Binary.MsiAction"} <= set(programs)
    ca = throwaway_pki["SIGN_CA"]
    expired = int(time.time()) + (SIGNER_DAYS + 2) * 86400
    for signed_file in programs + [msi]:
        ok, report = verify(signed_file, ca)
        assert ok == (outcome != "unsigned"), report
        assert bool(re.search("no signature", report, re.I)) == (
            outcome == "unsigned"), report
        if outcome != "unsigned":
            ok, report = verify(signed_file, ca, at=expired)
            assert ok == (outcome == "time-stamped"), report
            assert ("certificate has expired" in report) == (
                outcome == "signed"), report


def test_the_windows_zip_holds_what_a_deployment_needs():
    archive = built("zebcfg-*-win64.zip")
    folder = f"zebcfg-{VERSION}-win64/"
    with zipfile.ZipFile(archive) as z:
        names = {n for n in z.namelist() if not n.endswith("/")}
        assert names == {folder + n for n in ("zebcfg.exe", "zebstate.exe",
                                              "zebsetup.inf", "provision.cmd",
                                              "README.md", "LICENSE",
                                              "docs/deploying-windows.md",
                                              *MANIFESTS)}
        for manifest in MANIFESTS:
            assert json.loads(z.read(folder + manifest))["version"] == VERSION
        assert z.read(folder + "zebsetup.inf") == (REPO / "examples" /
                                                   "zebsetup.inf").read_bytes()


# ----- man pages -----

MAN = REPO / "man"


def man_source(name):
    return (MAN / name).read_text().replace("\\-", "-").replace("\\e", "\\")


def test_zebcfg_1_names_every_command_word_and_status_text():
    page = man_source("zebcfg.1")
    entry = (REPO / "src" / "cli" / "entry.cpp").read_text()
    words = re.findall(r'\{"([a-z]+)", \w+_handler, MODE_\w+\}', entry)
    assert len(words) == 21
    missing = [w for w in words if f"\\fB{w}\\fR" not in page]
    assert not missing, missing
    status = (REPO / "src" / "cli" / "status.cpp").read_text()
    texts = ["".join(re.findall(r'"((?:[^"\\]|\\.)*)"', row))
             for row in re.findall(r'\{(?:0x[0-9A-F]+|\d+|[A-Z][A-Z0-9_]*), (?:"msg_\w+"|nullptr),'
                                   r'((?:\s*"(?:[^"\\]|\\.)*")+)\}', status)]
    assert len(texts) == 16
    missing = [t for t in texts if t not in page]
    assert not missing, missing


@pytest.mark.skipif(shutil.which("man") is None, reason="man is not installed")
@pytest.mark.parametrize("page", ["zebcfg.1", "zebreg.1", "zebinstall.1",
                                  "zebstate.1"])
def test_man_pages_render_without_warnings(page):
    r = run(["man", "--warnings", "-l", MAN / page],
            dict(os.environ, MANWIDTH="80", MAN_KEEP_FORMATTING="0"))
    assert r.returncode == 0, r.stderr
    assert r.stderr == ""


# ----- bash completion -----

COMPLETION = REPO / "completion" / "zebcfg.bash"


def complete(plat, *words):
    """COMPREPLY of bash completing the last of words, one a line."""
    line = " ".join(f"'{w}'" for w in words)
    script = (f"source '{COMPLETION}'\n"
              f"COMP_WORDS=({line}); COMP_CWORD={len(words) - 1}\n"
              f"$(complete -p {words[0]} | sed 's/.*-F \\([^ ]*\\) .*/\\1/')\n"
              "for w in \"${COMPREPLY[@]}\"; do printf '%s\\n' \"$w\"; done\n")
    env = dict(plat.env, PATH=f"{NATIVE_DIR}:{os.environ['PATH']}")
    r = run(["bash", "-c", script], env)
    assert r.returncode == 0, r
    return r.stdout.splitlines()


@pytest.mark.only_on("native", reason="the bash completion ships with the "
                     "native package")
def test_completion_offers_command_words_and_the_store_s_devices(setup_inf):
    plat = setup_inf.plat
    for name in ("COM7", "COM12", "lab-gw"):
        assert plat.run("a", name, "Port.Transport=serial").code == 0
    assert complete(plat, "zebcfg", "re") == ["restart", "restartq", "restartd",
                                              "reboot"]
    assert complete(plat, "zebcfg", "ST") == ["stop", "stopq", "stopd"]
    assert complete(plat, "zebcfg", "p", "COM") == ["COM7", "COM12"]
    assert complete(plat, "zebcfg", "rq", "") == ["COM7", "COM12", "lab-gw"]
    assert complete(plat, "zebcfg", "ml", "") == []
    assert complete(plat, "zebinstall", str(REPO / "examples" / "zeb")) == [
        str(REPO / "examples" / "zebsetup.inf")]
    (plat.test_dir / "zebser.reg").write_bytes(b"")
    (plat.test_dir / "zebser.txt").write_bytes(b"")
    assert complete(plat, "zebreg", "EX") == ["export"]
    assert complete(plat, "zebreg", "--v") == ["--version"]
    assert complete(plat, "zebinstall", "--h") == ["--help"]
    assert complete(plat, "zebreg", "import", str(plat.test_dir / "zeb")) == [
        str(plat.test_dir / "zebser.reg")]
    assert complete(plat, "zebreg", "export", "HKLM\\X", "f.reg", "/") == ["/y"]
    assert "REG_QWORD" in complete(plat, "zebreg", "add", "HKLM\\X", "/t", "REG_Q")
    assert complete(plat, "zebstate", "set", "--w") == ["--what-if"]
