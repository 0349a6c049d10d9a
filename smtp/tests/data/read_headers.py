"""Reads one message file with Python's email package and prints its decoded header fields as JSON."""
import json
import sys
from email import policy
from email.parser import BytesParser

with open(sys.argv[1], "rb") as f:
    msg = BytesParser(policy=policy.default).parse(f)

fields = {}
defects = [type(d).__name__ for d in msg.defects]
for name in ("Subject", "X-Extra", "Date"):
    if name in msg:
        fields[name] = str(msg[name])
        defects += [type(d).__name__ for d in msg[name].defects]
for name in ("From", "To", "Cc", "Reply-To"):
    if name in msg:
        header = msg[name]
        fields[name] = [{"name": a.display_name, "addr": a.addr_spec} for a in header.addresses]
        defects += [type(d).__name__ for d in header.defects]
fields["defects"] = defects
json.dump(fields, sys.stdout, ensure_ascii=False)
