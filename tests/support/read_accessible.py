#!/usr/bin/python3
# Prints the text of the accessible named ARGV[2] in the application named
# ARGV[1], as a screen reader reads it (AT-SPI), or its description when
# ARGV[3] is "description". Exit 1 when not found.
import sys

import pyatspi


def find(node, name, depth=0):
    if node is None or depth > 40:
        return None
    try:
        if node.name == name:
            return node
        for child in node:
            found = find(child, name, depth + 1)
            if found is not None:
                return found
    except Exception:
        return None
    return None


def main():
    app_name, name = sys.argv[1], sys.argv[2]
    for app in pyatspi.Registry.getDesktop(0):
        if app is None or app.name.lower() != app_name.lower():
            continue
        node = find(app, name)
        if node is None:
            continue
        role = node.getRoleName()
        if len(sys.argv) > 3 and sys.argv[3] == "description":
            sys.stdout.write(role + "\n" + node.description)
            return 0
        try:
            text = node.queryText()
            content = text.getText(0, text.characterCount)
        except NotImplementedError:
            content = ""
        sys.stdout.write(role + "\n" + content)
        return 0
    return 1


sys.exit(main())
