"""zebreg against Wine's reg: the same commands print the same lines and end
with the same exit codes (natively zebreg, under Wine ``wine reg``)."""

import pytest


KEY = r"HKLM\Software\ZebregTest"
FULL = r"HKEY_LOCAL_MACHINE\Software\ZebregTest"
OK = "reg: The operation completed successfully\n"
ACCESS_FAILED = "reg: Unable to access or create the specified registry key\n"

# One session of commands, run in order: (arguments, output, exit code).
SESSION = [
    (["add", KEY, "/v", "S", "/d", "hello", "/f"], OK, 0),
    (["add", KEY, "/ve", "/d", "defval", "/f"], OK, 0),
    (["add", KEY, "/v", "B", "/t", "REG_BINARY", "/d", "0aff1", "/f"], OK, 0),
    (["add", KEY, "/v", "X", "/t", "REG_DWORD", "/d", "0x1F", "/f"], OK, 0),
    (["add", KEY, "/v", "Dec", "/t", "reg_dword", "/d", "010", "/f"], OK, 0),
    (["add", KEY + r"\Sub", "/v", "D2", "/t", "REG_DWORD", "/d", "16", "/f"],
     OK, 0),
    (["add", KEY + r"\Sub\Deep", "/f"], OK, 0),
    (["add", KEY + r"\_under", "/v", "a", "/d", "", "/f"], OK, 0),
    (["query", KEY],
     f"\n{FULL}\n    (Default)    REG_SZ    defval\n"
     "    B    REG_BINARY    00AFF1\n    Dec    REG_DWORD    0xa\n"
     "    S    REG_SZ    hello\n    X    REG_DWORD    0x1f\n\n"
     f"{FULL}\\_under\n{FULL}\\Sub\n", 0),
    (["query", KEY + r"\sub", "/s"],
     f"\n{FULL}\\sub\n    D2    REG_DWORD    0x10\n\n"
     f"{FULL}\\sub\\Deep\n    (Default)    REG_SZ    \n\n", 0),
    (["query", KEY, "/v", "s"], f"\n{FULL}\n    s    REG_SZ    hello\n\n", 0),
    (["query", KEY + r"\Sub", "/ve"],
     f"\n{FULL}\\Sub\n    (Default)    REG_SZ    (value not set)\n", 0),
    (["query", KEY, "/v", "D2", "/s"],
     f"\n{FULL}\\Sub\n    D2    REG_DWORD    0x10\n\n"
     "Search complete. Number of matches found: 1\n", 0),
    (["query", KEY, "/v", "Missing"],
     "\nreg: Unable to find the specified registry value\n", 1),
    (["query", KEY + r"\NoSuch"],
     "reg: Unable to find the specified registry key\n", 1),
    (["add", KEY, "/v", "N", "/t", "REG_DWORD", "/d", "4294967296", "/f"],
     "reg: The option [/d] must be followed by a valid numeric value\n", 1),
    (["add", KEY, "/v", "N", "/t", "REG_BINARY", "/d", "0xab", "/f"],
     "reg: The option [/d] must be followed by a valid hexadecimal value\n", 1),
    (["add", KEY, "/v", "N", "/t", "REG_FOO", "/d", "1", "/f"],
     "reg: Unsupported registry data type [REG_FOO]\n", 1),
    (["add", KEY, "/v", "N", "/ve", "/f"],
     'reg: Invalid syntax. Type "REG ADD /?" for help.\n', 1),
    (["add", r"HKXX\Software", "/f"], "reg: Invalid system key\n", 1),
    (["delete", KEY, "/v", "Missing", "/f"],
     "reg: Unable to find the specified registry value\n", 1),
    (["delete", KEY, "/ve", "/f"], OK, 0),
    (["delete", KEY + r"\Sub", "/f"], OK, 0),
    (["query", KEY + r"\Sub\Deep"],
     "reg: Unable to find the specified registry key\n", 1),
    (["delete", KEY, "/f"], OK, 0),
    (["query", KEY], "reg: Unable to find the specified registry key\n", 1),
    # REG_MULTI_SZ: items separated by \0 in /d, shown the same way.
    (["add", KEY, "/v", "M", "/t", "REG_MULTI_SZ", "/d", r"a\0b c\0", "/f"], OK, 0),
    (["add", KEY, "/v", "One", "/t", "reg_multi_sz", "/d", "x", "/f"], OK, 0),
    (["add", KEY, "/v", "Bad", "/t", "REG_MULTI_SZ", "/d", r"a\0\0b", "/f"],
     "reg: The option [/d] must be followed by a valid string\n", 1),
    (["query", KEY],
     f"\n{FULL}\n    M    REG_MULTI_SZ    a\\0b c\n    One    REG_MULTI_SZ    x\n\n", 0),
    # REG_NONE holds the text in UTF-16 with its terminator, as reg stores it.
    (["add", KEY, "/v", "N", "/t", "REG_NONE", "/d", "abc", "/f"], OK, 0),
    (["query", KEY, "/v", "N"], f"\n{FULL}\n    N    REG_NONE    6100620063000000\n\n", 0),
    (["add", KEY, "/v", "N", "/t", "REG_NONE", "/f"], OK, 0),
    (["query", KEY, "/v", "N"], f"\n{FULL}\n    N    REG_NONE    0000\n\n", 0),
    # Numbers take a '+'; only a REG_QWORD takes a '-' (Wine prints every
    # REG_QWORD as "(null)", so the exports of test_regfile check its bytes).
    (["add", KEY, "/v", "P", "/t", "REG_DWORD", "/d", "+5", "/f"], OK, 0),
    (["query", KEY, "/v", "P"], f"\n{FULL}\n    P    REG_DWORD    0x5\n\n", 0),
    (["add", KEY, "/v", "P", "/t", "REG_DWORD", "/d", "-1", "/f"],
     "reg: The option [/d] must be followed by a valid numeric value\n", 1),
    (["add", KEY, "/v", "Q", "/t", "REG_QWORD", "/d", "-2", "/f"], OK, 0),
    (["add", KEY, "/v", "Q", "/t", "REG_QWORD", "/d", "18446744073709551616", "/f"],
     "reg: The option [/d] must be followed by a valid numeric value\n", 1),
    # Names over the registry's limits: a value name of 16,384 characters,
    # a key name of 257.
    (["add", KEY, "/v", "v" * 16384, "/d", "x", "/f"], ACCESS_FAILED, 1),
    (["add", KEY + "\\" + "k" * 257, "/f"], ACCESS_FAILED, 1),
    (["add", KEY, "/v", "v" * 16383, "/d", "x", "/f"], OK, 0),
    (["delete", KEY, "/f"], OK, 0),
]


def test_zebreg_session_prints_what_reg_prints(plat):
    plat.reset_key(KEY)
    plat.reg("delete", KEY, "/f")
    for args, out, code in SESSION:
        r = plat.reg(*args)
        assert (r.out, r.code) == (out, code), args


@pytest.mark.only_on("native", reason="Wine's registry takes a key name of 256 "
                     "characters and keys deeper than 512, past what Windows "
                     "documents")
@pytest.mark.parametrize("key", [KEY + "\\" + "k" * 256,
                                 KEY + "\\d" * 512],
                         ids=["key-name-256", "depth-514"])
def test_zebreg_add_refuses_keys_beyond_the_documented_limits(plat, key):
    r = plat.reg("add", key, "/f")
    assert (r.out, r.code) == (ACCESS_FAILED, 1)
    assert plat.reg("query", KEY).code == 1
