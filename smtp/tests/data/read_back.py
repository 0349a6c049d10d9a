"""Reads a composed message with Python's email package and compares it with what was meant.

usage: read_back.py MESSAGE EXPECTED_BODY [ATTACHMENT_NAME ATTACHMENT_FILE DESCRIPTION]...
Prints one line per difference and exits 1 when there is any.
"""
import email
import email.policy
import sys


def main():
    with open(sys.argv[1], "rb") as f:
        msg = email.message_from_bytes(f.read(), policy=email.policy.default)
    with open(sys.argv[2], "rb") as f:
        expected_body = f.read().decode("utf-8")
    expected = list(zip(sys.argv[3::3], sys.argv[4::3], sys.argv[5::3]))
    problems = []
    if msg.defects:
        problems.append("message defects: %r" % msg.defects)
    parts = [p for p in msg.walk() if not p.is_multipart()]
    for p in parts:
        if p.defects:
            problems.append("part defects: %r" % p.defects)
    body = parts[0].get_content().replace("\r\n", "\n").rstrip("\n")
    if body != expected_body.replace("\r\n", "\n").rstrip("\n"):
        problems.append("body %r differs from %r" % (body[:60], expected_body[:60]))
    if len(parts) - 1 != len(expected):
        problems.append("%d attachments, %d expected" % (len(parts) - 1, len(expected)))
    for part, (name, path, description) in zip(parts[1:], expected):
        if str(part["Content-Description"]) != description:
            problems.append("description %r, expected %r" % (str(part["Content-Description"]), description))
        if part.get_filename() != name:
            problems.append("file name %r, expected %r" % (part.get_filename(), name))
        with open(path, "rb") as f:
            if part.get_payload(decode=True) != f.read():
                problems.append("payload of %r differs" % name)
    for line in problems:
        print(line)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
