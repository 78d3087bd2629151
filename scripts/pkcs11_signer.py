#!/usr/bin/env python3
"""Checks a signer on a PKCS#11 token before anything is signed: the module loads, the key's
URI finds one token and on it one private key, the certificate's URI (when given) finds one
certificate, and the PIN opens the token. Prints what is wrong in one line and exits 1;
writes the certificate (PEM) to CERT_OUT when one is named, and exits 0 for a good signer.

    SIGN_PIN=... pkcs11_signer.py MODULE KEY_URI [CERT_URI CERT_OUT]

The PIN comes from the environment only and is tried once: a real token locks itself after a
few wrong PINs, so a wrong one is reported, never retried. Certificates are public objects,
found before the log-in; private keys are found after it."""
import os
import ssl
import sys
import urllib.parse

import PyKCS11
from PyKCS11 import LowLevel

# RFC 7512 path attributes of a token, and how the token describes itself.
TOKEN_ATTRIBUTES = {"token": "label", "manufacturer": "manufacturerID", "model": "model",
                    "serial": "serialNumber"}
OBJECT_CLASSES = {"cert": LowLevel.CKO_CERTIFICATE, "private": LowLevel.CKO_PRIVATE_KEY,
                  "public": LowLevel.CKO_PUBLIC_KEY, "secret-key": LowLevel.CKO_SECRET_KEY,
                  "data": LowLevel.CKO_DATA}


class Refused(Exception):
    pass


def parse_uri(variable, uri):
    """The path attributes of a pkcs11: URI, values percent-decoded to bytes."""
    if not uri.lower().startswith("pkcs11:"):
        raise Refused(f"{variable} is not a pkcs11: URI: {uri}")
    attributes = {}
    for part in uri[len("pkcs11:"):].partition("?")[0].split(";"):
        if not part:
            continue
        name, equals, value = part.partition("=")
        if not equals:
            raise Refused(f"{variable}: '{part}' is not name=value, in {uri}")
        attributes[name.lower()] = urllib.parse.unquote_to_bytes(value)
    return attributes


def matching_slots(library, attributes):
    slots = []
    for slot in library.getSlotList(tokenPresent=True):
        if "slot-id" in attributes and attributes["slot-id"] != str(slot).encode():
            continue
        info = library.getTokenInfo(slot)
        if not info.flags & LowLevel.CKF_TOKEN_INITIALIZED:
            continue
        if all(getattr(info, field).rstrip(" \0").encode() == attributes[name]
               for name, field in TOKEN_ATTRIBUTES.items() if name in attributes):
            slots.append((slot, info.label.rstrip(" \0")))
    return slots


def find(session, attributes, wanted):
    """The objects of class `wanted` that the URI's object attributes name."""
    template = [(LowLevel.CKA_CLASS, wanted)]
    if "object" in attributes:
        template.append((LowLevel.CKA_LABEL, attributes["object"].decode("utf-8", "replace")))
    if "id" in attributes:
        template.append((LowLevel.CKA_ID, attributes["id"]))
    return session.findObjects(template)


def one_token(library, variable, uri, attributes):
    slots = matching_slots(library, attributes)
    if not slots:
        present = [label for _, label in matching_slots(library, {}) if label]
        raise Refused(f"{variable} matches no token present ({', '.join(present) or 'none'}): {uri}")
    if len(slots) > 1:
        raise Refused(f"{variable} matches {len(slots)} tokens; name one with token= or serial=: {uri}")
    return slots[0]


def require_type(variable, uri, attributes, expected):
    given = attributes.get("type", expected.encode()).decode()
    if given != expected:
        raise Refused(f"{variable} names type={given}, not type={expected}: {uri}")


def one_object(found, variable, uri, kind, label):
    if not found:
        raise Refused(f"{variable} finds no {kind} on token {label}: {uri}")
    if len(found) > 1:
        raise Refused(f"{variable} finds {len(found)} {kind}s on token {label}; name one with "
                      f"object= or id=: {uri}")
    return found[0]


def check(module, key_uri, cert_uri, cert_out, pin):
    library = PyKCS11.PyKCS11Lib()
    # The binding prints the loader's own complaint too: the one line below says it all.
    saved = [os.dup(1), os.dup(2)]
    quiet = os.open(os.devnull, os.O_WRONLY)
    os.dup2(quiet, 1)
    os.dup2(quiet, 2)
    try:
        library.load(module)
    except PyKCS11.PyKCS11Error as error:
        raise Refused(f"the PKCS#11 module {module} does not load: {error}") from None
    finally:
        for fd, saved_fd in ((1, saved[0]), (2, saved[1])):
            os.dup2(saved_fd, fd)
            os.close(saved_fd)
        os.close(quiet)

    key = parse_uri("SIGN_PKCS11_KEY", key_uri)
    require_type("SIGN_PKCS11_KEY", key_uri, key, "private")
    slot, label = one_token(library, "SIGN_PKCS11_KEY", key_uri, key)
    session = library.openSession(slot)

    if cert_uri:
        cert = parse_uri("SIGN_PKCS11_CERT", cert_uri)
        require_type("SIGN_PKCS11_CERT", cert_uri, cert, "cert")
        cert_slot, cert_label = one_token(library, "SIGN_PKCS11_CERT", cert_uri, cert)
        cert_session = session if cert_slot == slot else library.openSession(cert_slot)
        found = one_object(find(cert_session, cert, LowLevel.CKO_CERTIFICATE), "SIGN_PKCS11_CERT",
                           cert_uri, "certificate", cert_label)
        der = bytes(cert_session.getAttributeValue(found, [LowLevel.CKA_VALUE], True)[0])
        with open(cert_out, "w", encoding="ascii") as out:
            out.write(ssl.DER_cert_to_PEM_cert(der))

    try:
        session.login(pin)
    except PyKCS11.PyKCS11Error as error:
        if error.value == LowLevel.CKR_PIN_INCORRECT:
            raise Refused(f"SIGN_PIN is wrong for token {label} (tried once, not again: a token "
                          "locks itself after a few wrong PINs)") from None
        if error.value == LowLevel.CKR_PIN_LOCKED:
            raise Refused(f"the PIN of token {label} is locked: unlock it with the token's own tool") from None
        if error.value != LowLevel.CKR_USER_ALREADY_LOGGED_IN:
            raise Refused(f"cannot log in to token {label}: {error}") from None
    try:
        one_object(find(session, key, LowLevel.CKO_PRIVATE_KEY), "SIGN_PKCS11_KEY", key_uri,
                   "private key", label)
    finally:
        session.logout()


def main():
    if len(sys.argv) not in (3, 5):
        sys.exit("usage: SIGN_PIN=... pkcs11_signer.py MODULE KEY_URI [CERT_URI CERT_OUT]")
    module, key_uri = sys.argv[1:3]
    cert_uri, cert_out = sys.argv[3:5] if len(sys.argv) == 5 else (None, None)
    if "SIGN_PIN" not in os.environ:
        sys.exit("sign.sh: SIGN_PIN is not set (the token's PIN, read from the environment only)")
    try:
        check(module, key_uri, cert_uri, cert_out, os.environ["SIGN_PIN"])
    except Refused as refused:
        sys.exit(f"sign.sh: {refused}")
    except PyKCS11.PyKCS11Error as error:
        sys.exit(f"sign.sh: the PKCS#11 module {module} failed: {error}")


if __name__ == "__main__":
    main()
