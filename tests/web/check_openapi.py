#!/usr/bin/python3
"""The web API's OpenAPI document against the OpenAPI 3.0 schema (Debian's
openapi-specification), and every answer test_web_api recorded against the
document's schema for its path, method and status.

Usage: check_openapi.py DOCUMENT RECORDED.jsonl
"""
import json
import re
import sys

import jsonschema

OAS_SCHEMA = "/usr/share/openapi-specification/schemas/v3.0/schema.json"


def json_schema(node):
    """An OpenAPI 3.0 schema object as JSON Schema: "nullable" becomes a
    type list, and what JSON Schema does not know is dropped."""
    if isinstance(node, list):
        return [json_schema(n) for n in node]
    if not isinstance(node, dict):
        return node
    out = {k: json_schema(v) for k, v in node.items() if k not in ("nullable", "discriminator")}
    if node.get("nullable"):
        out["type"] = [node["type"], "null"]
    return out


def main(document_path, recorded_path):
    with open(OAS_SCHEMA, encoding="utf-8") as f:
        oas = json.load(f)
    with open(document_path, encoding="utf-8") as f:
        document = json.load(f)
    jsonschema.Draft4Validator(oas).validate(document)

    root = json_schema(document)
    resolver = jsonschema.RefResolver("", root)

    def check(instance, schema, what):
        errors = list(jsonschema.Draft4Validator(json_schema(schema), resolver=resolver)
                      .iter_errors(instance))
        if errors:
            raise AssertionError(f"{what}: {errors[0].message} in {json.dumps(instance)[:300]}")

    def resolve(node):
        while "$ref" in node:
            node = resolver.resolve(node["$ref"])[1]
        return node

    templates = [(re.compile("^" + re.sub(r"\{[^}]+\}", "[^/]+", p) + "$"), p)
                 for p in document["paths"]]
    used, count = set(), 0
    with open(recorded_path, encoding="utf-8") as f:
        for line in f:
            r = json.loads(line)
            count += 1
            if "event" in r:
                check(r["event"], {"$ref": "#/components/schemas/Event"}, "event")
                used.add(("/api/v1/events", "get"))
                continue
            what = f'{r["method"]} {r["path"]} {r["status"]}'
            path = next((p for rx, p in templates if rx.match(r["path"].split("?")[0])), None)
            operation = document["paths"].get(path, {}).get(r["method"].lower())
            if operation is None:
                # Outside the API (the page's files), only errors are JSON.
                if r["status"] >= 400:
                    check(r["body"], {"$ref": "#/components/schemas/Error"}, what)
                continue
            used.add((path, r["method"].lower()))
            response = operation["responses"].get(str(r["status"]))
            if response is None:
                raise AssertionError(f"{what}: the document has no such status")
            types = resolve(response).get("content", {})
            content = types.get("application/json")
            if content is None and types:
                continue  # text, such as the metrics: not JSON to check
            if content is None:
                if r["body"] is not None:
                    raise AssertionError(f"{what}: a body where the document has none")
            else:
                check(r["body"], content["schema"], what)
    methods = {"get", "put", "post", "delete", "patch", "head", "options"}
    missing = {(p, m) for p, ops in document["paths"].items() for m in ops if m in methods} - used
    if missing:
        raise AssertionError(f"never exercised: {sorted(missing)}")
    print(f"{count} recorded answers and events match {document_path}")


if __name__ == "__main__":
    main(*sys.argv[1:3])
