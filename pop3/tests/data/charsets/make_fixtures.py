#!/usr/bin/env python3
"""Writes the charset fixtures (*.eml, CR LF lines) with Python's email package.

Run from this folder: python3 make_fixtures.py. The tests expect the texts written here."""
import base64
import email.encoders
import email.policy
import quopri
from email.mime.base import MIMEBase
from email.mime.multipart import MIMEMultipart
from email.mime.nonmultipart import MIMENonMultipart
from email.mime.text import MIMEText

# Headers kept exactly as given (the encoded words below carry the charset spellings under test); CR LF.
POLICY = email.policy.compat32.clone(linesep="\r\n")
JAPANESE = "日本語のテスト"
BODY_JA = "こんにちは、世界。\n半角ｶﾅと全角カナ\n"
EMOJI_SUBJECT = "寿司 🍣 おいしい"


def word(text, charset, encoding="B", codec=None):
    data = text.encode(codec or charset)
    if encoding == "B":
        return "=?%s?B?%s?=" % (charset, base64.b64encode(data).decode())
    q = quopri.encodestring(data, header=True).decode().replace("=\n", "")
    return "=?%s?Q?%s?=" % (charset, q)


def single(subject_header, body_bytes, charset, cte, subtype="plain"):
    m = MIMENonMultipart("text", subtype)
    m.replace_header("Content-Type", 'text/%s; charset="%s"' % (subtype, charset))  # spelling kept
    m["From"] = "Sender <sender@example.jp>"
    m["To"] = "rcpt@example.jp"
    m["Subject"] = subject_header
    m["Date"] = "Mon, 07 Dec 2026 10:00:00 +0900"
    body_bytes = body_bytes.replace(b"\n", b"\r\n")
    if cte == "base64":
        payload = base64.encodebytes(body_bytes).decode()
    elif cte == "quoted-printable":
        payload = quopri.encodestring(body_bytes).decode().replace("=0D\n", "\n")
    else:
        payload = body_bytes.decode("ascii").replace("\r\n", "\n")
    m["Content-Transfer-Encoding"] = cte
    m.set_payload(payload)
    return m


def write(name, message):
    data = message.as_bytes(policy=POLICY) if hasattr(message, "as_bytes") else message
    with open(name + ".eml", "wb") as f:
        f.write(data)


def main():
    # Bodies and subjects in one charset each; Shift_JIS under every spelling mail programs use.
    cases = [
        ("utf8_base64", "UTF-8", "utf-8", "base64", JAPANESE + " ✓", BODY_JA),
        ("utf8_qp", "utf-8", "utf-8", "quoted-printable", "Grüße aus Köln", "Grüße, café ✓\n"),
        ("latin1_qp", "ISO-8859-1", "iso-8859-1", "quoted-printable", "Café crème", "Déjà vu à Noël\n"),
        ("eucjp_base64", "EUC-JP", "euc-jp", "base64", JAPANESE, BODY_JA),
        ("gb18030_base64", "GB18030", "gb18030", "base64", "中文测试", "你好，世界\n"),
        ("iso2022jp_7bit", "ISO-2022-JP", "iso-2022-jp", "7bit", JAPANESE, "こんにちは、世界。\n"),
    ]
    for spelling in ["Shift_JIS", "shift_jis", "SHIFT_JIS", "SJIS", "x-sjis", "CP932", "Windows-31J",
                     "MS_Kanji", "shift-jis"]:
        cases.append(("sjis_" + spelling, spelling, "cp932", "base64",
                      JAPANESE + "①", BODY_JA))
    for name, label, codec, cte, subject, body in cases:
        encoding = "Q" if cte == "quoted-printable" else "B"
        write(name, single(word(subject, label, encoding, codec), body.encode(codec), label, cte))

    # An emoji subject and a character split between two encoded words (the split falls inside "語").
    write("emoji_subject", single(word(EMOJI_SUBJECT, "UTF-8"), b"body\n", "utf-8", "7bit"))
    raw = JAPANESE.encode("utf-8")
    split = "=?UTF-8?B?%s?=\r\n =?UTF-8?B?%s?=" % (base64.b64encode(raw[:7]).decode(),
                                                   base64.b64encode(raw[7:]).decode())
    write("split_character", single(split, b"body\n", "utf-8", "7bit"))

    # HTML only.
    html = ("<html><head><title>t</title><style>p{color:red}</style></head><body><p>Hello&nbsp;&amp; "
            "welcome</p><div>second&#x21;</div>line<br>break &lt;3 &#26085;</body></html>\n")
    write("html_only", single("HTML only", html.encode("utf-8"), "utf-8", "quoted-printable", "html"))

    # Alternative inside mixed, with an RFC 2231 named attachment and a forwarded message.
    outer = MIMEMultipart("mixed")
    outer["From"] = '"Yamada, Taro" <taro@example.jp>'
    outer["To"] = "Team: a@example.jp, \"B\" <b@example.jp>;, c@example.jp (Carol)"
    outer["Subject"] = word("入れ子", "iso-2022-jp")
    outer["Date"] = "Mon, 07 Dec 2026 10:00:00 +0900"
    alt = MIMEMultipart("alternative")
    alt.attach(MIMEText("プレーンテキスト\n", "plain", "utf-8"))
    alt.attach(MIMEText("<p>HTML版</p>\n", "html", "utf-8"))
    outer.attach(alt)
    part = MIMEBase("application", "octet-stream")
    part.set_payload(b"\x00\x01binary\xff")
    email.encoders.encode_base64(part)
    part.add_header("Content-Disposition", "attachment", filename=("utf-8", "ja", "資料 2026.pdf"))
    outer.attach(part)
    inner = MIMEText("inner body\n", "plain", "us-ascii")
    inner["From"] = "x@example.jp"
    inner["Subject"] = "Forwarded note"
    rfc822 = MIMEBase("message", "rfc822")
    rfc822.set_payload([inner])
    outer.attach(rfc822)
    write("nested", outer.as_bytes(policy=POLICY))


if __name__ == "__main__":
    main()
