"""wait: runs the rest of its raw command line as a child and ends with the
child's exit code. Natively the child line is split by the Windows rules and
started directly (no shell), so shell features need an explicit sh -c, as
cmd /c is needed under Wine.

The native build has no raw command line of its own: it rebuilds one from argv
with the Windows quoting rules. Typed quotes and the exact blanks between
arguments therefore do not survive there; the cases that depend on them run
under Wine only."""

import os
import shutil

import pytest


def exit_child(plat, code):
    """A child line that ends with code (natively only its low 8 bits)."""
    if plat.name == "wine":
        signed = code - (1 << 32) if code >= 1 << 31 else code
        return f"cmd /c exit {signed}"
    return f'sh -c "exit {code & 0xFF}"'


def wait(plat, tail, **kw):
    return plat.run_raw(plat.cmdline(tail, **kw))


@pytest.mark.parametrize("code", [0, 3, 255, 256, 0xFFFFFFFF, 0xF000000C,
                                  0x80000000])
def test_child_exit_code_is_passed_on(plat, code):
    r = wait(plat, "wait " + exit_child(plat, code))
    assert r.code == plat.exit(code), r


def test_child_output_and_arguments_reach_it_unchanged(plat):
    if plat.name == "wine":
        r = wait(plat, 'wait cmd /c echo "x  y"  z')
        assert (r.out, r.code) == ('"x  y"  z\n', 0), r
    else:
        r = wait(plat, 'wait printf "%s|" "x  y" z "" "a\\"b"')
        assert (r.out, r.code) == ('x  y|z||a"b|', 0), r


@pytest.mark.parametrize("subdir", ["my tools", "wait here", "x wait y"])
def test_quoted_program_path_is_skipped(plat, subdir):
    """A quoted program path may hold blanks and even the word itself."""
    exe = plat.copy_exe("zebcfg", subdir=subdir)
    line = plat.cmdline("wait " + exit_child(plat, 3), exe=exe)
    assert line.startswith('"')
    r = plat.run_raw(line)
    assert r.code == 3, r


def test_word_inside_an_unquoted_path_is_not_the_word(plat):
    exe = plat.copy_exe("zebcfg", subdir="await")
    r = wait(plat, "wait " + exit_child(plat, 3), exe=exe)
    assert r.code == 3, r


@pytest.mark.parametrize("tail, code", [
    ("\twait\t{child}", 3),
    ("wait \t {child}", 3),
    ("WAIT {child}", 3),
    ("wait", -1),                      # nothing after the word: no word
    ("wait   ", -1),                   # only blanks after it: nothing to start
    ("Wait {child}", -1),              # neither "wait" nor "WAIT" in the line
    ("waitx {child}", -1),             # unknown command, never reaches wait
    ("wait no-such-program-zeb 1 2", -1),
    ("wait C:\\no\\such\\dir\\prog.exe", -1),
], ids=["tabs", "blank-and-tab", "upper", "at-end", "only-blanks", "mixed-case",
        "longer-word", "no-such-program", "no-such-path"])
def test_finding_the_word(plat, tail, code):
    r = wait(plat, tail.format(child=exit_child(plat, 3)))
    assert r.code == plat.exit(code), r
    if code == -1:
        assert r.out in ("", "unknown command: waitx\n"), r


def lowercase_word_then(plat, code):
    """A child line that mentions the lowercase word, then a line that ends
    with code: the scan takes the text after that inner word."""
    if plat.name == "wine":
        return f"cmd /c echo wait cmd /c exit {code}"
    return f'echo wait sh -c "exit {code}"'


def test_lowercase_word_takes_precedence(plat):
    r = wait(plat, "WAIT " + lowercase_word_then(plat, 5))
    assert r.code == 5, r
    # Mixed case dispatches to wait; only the later whole word counts.
    r = wait(plat, "Wait " + lowercase_word_then(plat, 6))
    assert r.code == 6, r


def test_upper_word_before_a_lowercase_occurrence_is_never_found(plat):
    child = "cmd /c type await.txt" if plat.name == "wine" else "cat await.txt"
    r = wait(plat, "WAIT " + child)
    assert (r.out, r.code) == ("", plat.exit(-1)), r


@pytest.mark.only_on("wine", reason="natively typed quotes do not survive "
                     "into the command line rebuilt from argv")
def test_quoted_word_is_not_the_word(plat):
    r = wait(plat, '"wait" ' + exit_child(plat, 3))
    assert r.code == plat.exit(-1), r


def test_program_named_like_the_word(plat):
    """waiter wait ...: the first occurrence starts at the scan position."""
    if plat.name == "wine":
        # CreateProcess finds a bare name in the starting program's folder.
        shutil.copy2(plat.session.zeb_dir / "zebcfg.exe",
                     plat.session.zeb_dir / "waiter.exe")
    else:
        exe = plat.copy_exe("waiter")
        plat.env = dict(plat.env, PATH=os.path.dirname(exe) + ":" +
                        plat.env.get("PATH", "/usr/bin:/bin"))
    started = plat.run_raw("waiter osver")
    assert started.code not in (None, plat.exit(-1)), started
    r = plat.run_raw("waiter wait " + exit_child(plat, 3))
    assert r.code == plat.exit(-1), r


@pytest.mark.only_on("native", reason="Windows processes end with a code, "
                     "not a signal")
def test_child_killed_by_a_signal(plat):
    r = wait(plat, 'wait sh -c "kill -TERM $$"')
    assert r.code == 128 + 15, r
    r = wait(plat, 'wait sh -c "kill -KILL $$"')
    assert r.code == 128 + 9, r


def test_files_that_are_not_programs_cannot_be_started(plat):
    """A folder, and a file that is not a program, fail to start (-1) rather
    than reaching a shell or a file association."""
    if plat.name == "wine":
        folder, text_file = "C:\\windows", "C:\\windows\\win.ini"
    else:
        folder = str(plat.test_dir)
        text_file = plat.test_dir / "notes.txt"
        text_file.write_text("exit 4\n")
        text_file.chmod(0o755)  # executable, but no program format
    for child in (folder, str(text_file)):
        r = wait(plat, "wait " + child)
        assert (r.out, r.code) == ("", plat.exit(-1)), child
