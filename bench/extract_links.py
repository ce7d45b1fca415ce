#!/usr/bin/env python3
"""Peer of the Get document benchmark: reads an HTML page on standard input and prints the
distinct values of its href and src attributes, sorted, one a line."""
import sys
from html.parser import HTMLParser


class LinkParser(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=False)
        self.links = set()

    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if name in ("href", "src") and value:
                self.links.add(value)


parser = LinkParser()
parser.feed(sys.stdin.buffer.read().decode("latin-1"))
parser.close()
sys.stdout.write("".join(link + "\n" for link in sorted(parser.links)))
