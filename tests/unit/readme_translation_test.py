#!/usr/bin/env python3
"""README.zh-CN.md translates some sections of README.md for the car parks'
technicians. When one side changes, these tell where the other fell behind:
the headings (each carries the English anchor above it), the code blocks,
the pictures and the links between the two."""
import os
import re
import sys
import unittest

ROOT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")

# The English sections the Chinese guide translates, in their order.
COVERED = ["installing-on-a-car-parks-pc", "what-it-does-each-night", "the-installer",
           "silent-installation-for-roll-outs", "the-runs-options", "the-scheduled-task", "checking-a-run-by-hand",
           "the-error-box", "on-linux", "when-a-night-goes-wrong", "re-sending-a-past-day"]


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


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
