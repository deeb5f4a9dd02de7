#!/usr/bin/env python3
"""README.zh-CN.md translates some sections of README.md for the car parks'
technicians. When one side changes, these tell where the other fell behind:
the headings (each carries the English anchor above it), the code blocks,
the pictures and the links between the two. And the Chinese texts of the
guide, the installer and the program's messages keep to the terms of
docs/terms.zh-CN.md."""
import os
import re
import sys
import unittest

ROOT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")

# The English sections the Chinese guide translates, in their order.
COVERED = ["files-it-uses", "exit-codes", "installing-on-a-car-parks-pc", "what-it-does-each-night", "the-installer",
           "silent-installation-for-roll-outs", "the-runs-options", "the-zip-setting-up-by-hand", "setting-up-the-pc",
           "the-scheduled-task", "checking-a-run-by-hand", "the-error-box", "on-linux", "when-a-night-goes-wrong",
           "re-sending-a-past-day"]


def read(name):
    with open(os.path.join(ROOT, name), encoding="utf-8") as file:
        return file.read()


def slug(heading):
    return re.sub(r"[^\w\- ]", "", heading.strip().lower()).replace(" ", "-")


def sections(text):
    """[level, anchor, lines] for each heading: GitHub's anchor, or the <a id> on the line above."""
    result, lines = [], text.split("\n")
    for i, line in enumerate(lines):
        heading = re.match(r"(#+) (.*)", line)
        if heading:
            explicit = re.fullmatch(r'<a id="([^"]+)"></a>', lines[i - 1]) if i else None
            result.append([len(heading.group(1)), explicit.group(1) if explicit else slug(heading.group(2)), []])
        elif result:
            result[-1][2].append(line)
    return result


def code_blocks(lines):
    """Runs of lines indented by four spaces that start after a blank line."""
    blocks, inside, previous = [], False, ""
    for line in lines:
        inside = line.startswith("    ") and (inside or not previous.strip())
        if inside and previous.strip(): blocks[-1].append(line)
        elif inside: blocks.append([line])
        previous = line
    return blocks


def pictures(text):
    return set(re.findall(r"docs/[\w.-]+\.png", text))


def terms():
    """The "use" and "not" words of docs/terms.zh-CN.md's table."""
    rows = [line.split("|")[2:4] for line in read("docs/terms.zh-CN.md").split("\n") if line.startswith("| ")]
    return [(re.findall(r"`([^`]+)`", use), re.findall(r"`([^`]+)`", rejected)) for use, rejected in rows[1:]]


def rejected_words(text, table):
    """The "not" words in `text`, other than inside a "use" term."""
    for use, _ in table:
        for term in use:
            text = text.replace(term, "\0")
    return sorted({word for _, rejected in table for word in rejected if word in text})


def chinese_texts():
    """Each source's Chinese texts: the installer's SIMPCHINESE strings, the
    message table's string literals (adjacent ones joined), the whole guide."""
    installer = read("packaging/windows/parktotals-strings.nsh").split("\n")
    messages = re.sub(r'"\s*\n\s*"', "", read("src/text/message_table.h"))
    return {"parktotals-strings.nsh": "\n".join(line for line in installer if "${LANG_SIMPCHINESE}" in line),
            "message_table.h": "\n".join(re.findall(r'"((?:[^"\\]|\\.)*)"', messages)),
            "README.zh-CN.md": read("README.zh-CN.md")}


FILES = {"README.md": read("README.md"), "README.zh-CN.md": read("README.zh-CN.md")}
ENGLISH = {anchor: (level, lines) for level, anchor, lines in sections(FILES["README.md"])}
CHINESE = sections(FILES["README.zh-CN.md"])


class ReadmeTranslationTest(unittest.TestCase):
    def test_headings_follow_the_covered_english_sections(self):
        self.assertEqual([(level, anchor) for level, anchor, _ in CHINESE if level > 1],
                         [(ENGLISH[anchor][0], anchor) for anchor in COVERED])

    def test_english_code_blocks_appear_unchanged(self):
        for _, anchor, lines in CHINESE:
            chinese = "\n" + "\n".join(lines) + "\n"
            for block in code_blocks(ENGLISH.get(anchor, (0, []))[1]):
                self.assertTrue("\n" + "\n".join(block) + "\n" in chinese, f"{anchor}: {block[0].strip()}")

    def test_pictures_are_the_english_ones_or_their_chinese_counterparts(self):
        for _, anchor, lines in CHINESE:
            chinese = pictures("\n".join(lines))
            for picture in pictures("\n".join(ENGLISH.get(anchor, (0, []))[1])):
                self.assertTrue({picture, picture.replace(".png", "-zh-CN.png")} & chinese, (anchor, picture))
        english = pictures(FILES["README.md"])
        for picture in pictures(FILES["README.zh-CN.md"]):
            self.assertTrue(os.path.exists(os.path.join(ROOT, picture)) or
                            picture.replace("-zh-CN.png", ".png") in english - {picture}, picture)

    def test_links_between_the_guides_reach_a_heading(self):
        anchors = {name: {anchor for _, anchor, _ in sections(text)} for name, text in FILES.items()}
        for name, text in FILES.items():
            for target, anchor in re.findall(r"\]\((README(?:\.zh-CN)?\.md)?#([^)]+)\)", text):
                self.assertIn(anchor, anchors[target or name], f"{name}: {target}#{anchor}")

    def test_chinese_texts_use_the_decided_terms(self):
        table = terms()
        self.assertEqual(rejected_words("SQL Server 登录名、本机", table), [])
        self.assertEqual(rejected_words("SQL Server 登录名或 SQL Server 登录", table), ["SQL Server 登录"])
        for name, text in chinese_texts().items():
            self.assertEqual(rejected_words(text, table), [], name)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
