#!/usr/bin/env python3
"""Writes the golden-test inputs that are not plain UTF-8 text (run from anywhere).

The golden outputs under golden/ are written by the writer test itself:
  ORBELLE_XML_UPDATE_GOLDEN=1 build/native-asan/bin/xml_tests --gtest_filter=XMLWriter.GoldenFiles
"""
import os

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "input")


def write(name, data):
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)


write("cp1252.xml", '<?xml version="1.0" encoding="windows-1252"?>\n<r v="caf\u00e9">na\u00efve \u20ac \u00bd</r>\n'
      .encode("cp1252"))
write("declared.xml", '<?xml version="1.0" encoding="iso-8859-1"?>\n<r a="\u00e0"><x>\u00ff</x></r>\n'
      .encode("latin-1"))
text = '<?xml version="1.0" encoding="UTF-16"?>\r\n<r>\u00e9\u4e2d\u0416 &#x1F600; <e k="\u20ac"/></r>\r\n'
write("utf16.xml", b"\xff\xfe" + text.encode("utf-16-le"))
