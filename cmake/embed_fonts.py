"""Makes the two Inter faces the editor draws with and embeds them as C++ byte arrays.

Instances Debian's Inter variable font at the 18pt optical size in the Regular
(400) and Bold (700) weights, names them "Inter 18pt" Regular and Bold, and
writes a source file with the bytes of both.

usage: embed_fonts.py VARIABLE_FONT OUTPUT_CPP
"""
import io
import sys

from fontTools.ttLib import TTFont
from fontTools.varLib import instancer

FAMILY = "Inter 18pt"


def make_face(path, weight, style):
    font = TTFont(path)
    face = instancer.instantiateVariableFont(font, {"opsz": 18, "wght": weight}, inplace=False)
    names = face["name"]
    for record_id in (16, 17, 21, 22, 25):
        names.removeNames(nameID=record_id)
    names.setName(FAMILY, 1, 3, 1, 0x409)
    names.setName(style, 2, 3, 1, 0x409)
    names.setName(f"{FAMILY} {style}", 4, 3, 1, 0x409)
    names.setName(f"Inter18pt-{style}", 6, 3, 1, 0x409)
    names.setName(FAMILY, 16, 3, 1, 0x409)
    names.setName(style, 17, 3, 1, 0x409)
    face["OS/2"].usWeightClass = weight
    out = io.BytesIO()
    face.save(out)
    return out.getvalue()


def as_array(name, data):
    lines = [f"extern const unsigned char {name}[];", f"const unsigned char {name}[] = {{"]
    for start in range(0, len(data), 24):
        lines.append("    " + ", ".join(str(b) for b in data[start:start + 24]) + ",")
    lines.append("};")
    lines.append(f"extern const int {name}Size;")
    lines.append(f"const int {name}Size = {len(data)};")
    return "\n".join(lines)


def main():
    source, output = sys.argv[1], sys.argv[2]
    regular = make_face(source, 400, "Regular")
    bold = make_face(source, 700, "Bold")
    text = "\n".join([
        "// Generated at build time from the Inter variable font; do not edit.",
        "namespace orlix::fonts",
        "{",
        as_array("interRegular", regular),
        as_array("interBold", bold),
        "} // namespace orlix::fonts",
        "",
    ])
    with open(output, "w") as f:
        f.write(text)


if __name__ == "__main__":
    main()
