#!/usr/bin/env python3
"""Writes the seed corpus of journal_fuzz: update journals as the install writes them for
the program folder C:\\Prog (every stage of an update, a cleanup journal, one cut short by
a kill) and as an attacker might plant them (paths outside the folder, a huge count).

    make_journal_corpus.py <corpus folder>
"""
import os
import sys

DIR = "C:\\Prog"
STAGE = DIR + "\\~OrbelleUpdate.stage"
HEAD = f"[OrbelleUpdateJournal]\r\nVersion=2.1.0.12\r\nStage={STAGE}\r\nEntries=3\r\n"
MOVES = (f"Move={DIR}\\a.dll|{DIR}\\a.dll.~orbelle-old|{STAGE}\\0.new\r\n"
         f"Move={DIR}\\Sub\\b.txt||{STAGE}\\2.new\r\n"
         f"Move={DIR}\\c.exe|{DIR}\\c.exe.~orbelle-old7|{STAGE}\\1.new\r\n")
SEEDS = {
    "staging.txt": HEAD,
    "planned.txt": HEAD + MOVES + "Planned\r\n",
    "committed.txt": HEAD + MOVES + "Planned\r\nCommitted\r\n",
    "cut-short.txt": HEAD + MOVES[:70],
    "cleanup.txt": f"[OrbelleUpdateJournal]\r\nRemove={DIR}\\a.dll.~orbelle-old\r\n"
                   f"Remove={DIR}\\b.~orbelle-discard3\r\nCleanup\r\n",
    "header-only.txt": "[OrbelleUpdateJournal]\r\n",
    "header-cut.txt": "[OrbelleUpd",
    "outside.txt": HEAD + "Move=C:\\Windows\\x.dll|C:\\Users\\evil.dll|" + STAGE + "\\0.new\r\nPlanned\r\n",
    "huge-count.txt": HEAD.replace("Entries=3", "Entries=2147483647"),
}


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, text in SEEDS.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(text.encode("latin-1"))


if __name__ == "__main__":
    main()
