#!/usr/bin/env python3
"""Writes still_life.glb: a small glTF 2.0 scene for trying kxrender on a file.

Standard library only, and independent of the C++ code, so that the loader
is checked against a file it did not write itself. glTF space: y up, the
viewer in front on +z. Usage: make_still_life.py OUTPUT.glb
"""
import json, math, struct, sys, zlib

buf = bytearray()
views, accessors, meshes, nodes = [], [], [], []


def view(data):
    while len(buf) % 4:
        buf.append(0)
    views.append({"buffer": 0, "byteOffset": len(buf), "byteLength": len(data)})
    buf.extend(data)
    return len(views) - 1


def floats(values, kind):
    n = {"VEC2": 2, "VEC3": 3}[kind]
    acc = {"bufferView": view(struct.pack("<%df" % len(values), *values)),
           "componentType": 5126, "count": len(values) // n, "type": kind}
    if kind == "VEC3":
        acc["min"] = [min(values[i::3]) for i in range(3)]
        acc["max"] = [max(values[i::3]) for i in range(3)]
    accessors.append(acc)
    return len(accessors) - 1


def indices(values):
    accessors.append({"bufferView": view(struct.pack("<%dH" % len(values), *values)),
                      "componentType": 5123, "count": len(values), "type": "SCALAR"})
    return len(accessors) - 1


def mesh(pos, nrm, uv, idx, material):
    attributes = {"POSITION": floats(pos, "VEC3"), "NORMAL": floats(nrm, "VEC3")}
    if uv:
        attributes["TEXCOORD_0"] = floats(uv, "VEC2")
    meshes.append({"primitives": [{"attributes": attributes, "indices": indices(idx), "material": material}]})
    return len(meshes) - 1


def sphere(radius, slices, stacks):
    pos, nrm, uv, idx = [], [], [], []
    for j in range(stacks + 1):
        v = j / stacks
        phi = math.pi * v
        for i in range(slices + 1):
            u = i / slices
            theta = 2 * math.pi * u
            n = (math.sin(phi) * math.sin(theta), math.cos(phi), math.sin(phi) * math.cos(theta))
            pos += [radius * c for c in n]
            nrm += n
            uv += [u, v]
    for j in range(stacks):
        for i in range(slices):
            a = j * (slices + 1) + i
            b = a + slices + 1
            idx += [a, b, a + 1, a + 1, b, b + 1]
    return pos, nrm, uv, idx


def box(sx, sy, sz):
    pos, nrm, uv, idx = [], [], [], []
    faces = [((1, 0, 0), (0, 0, -1), (0, 1, 0)), ((-1, 0, 0), (0, 0, 1), (0, 1, 0)),
             ((0, 1, 0), (1, 0, 0), (0, 0, -1)), ((0, -1, 0), (1, 0, 0), (0, 0, 1)),
             ((0, 0, 1), (1, 0, 0), (0, 1, 0)), ((0, 0, -1), (-1, 0, 0), (0, 1, 0))]
    half = (sx / 2, sy / 2, sz / 2)
    for n, u, v in faces:
        base = len(pos) // 3
        for cu, cv in ((-1, -1), (1, -1), (1, 1), (-1, 1)):
            pos += [half[k] * (n[k] + cu * u[k] + cv * v[k]) for k in range(3)]
            nrm += n
            uv += [(cu + 1) / 2, (1 - cv) / 2]
        idx += [base, base + 1, base + 2, base, base + 2, base + 3]
    return pos, nrm, uv, idx


def checker_png(size=64, cell=8):
    rows = b""
    for y in range(size):
        rows += b"\0"
        for x in range(size):
            rows += bytes((230, 220, 190)) if (x // cell + y // cell) % 2 == 0 else bytes((60, 90, 150))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def quat_about(axis, angle):
    s = math.sin(angle / 2)
    return [axis[0] * s, axis[1] * s, axis[2] * s, math.cos(angle / 2)]


def quat_mul(a, b):
    ax, ay, az, aw = a
    bx, by, bz, bw = b
    return [aw * bx + ax * bw + ay * bz - az * by, aw * by - ax * bz + ay * bw + az * bx,
            aw * bz + ax * by - ay * bx + az * bw, aw * bw - ax * bx - ay * by - az * bz]


materials = [
    {"name": "ground", "pbrMetallicRoughness": {"baseColorFactor": [0.55, 0.55, 0.5, 1], "metallicFactor": 0, "roughnessFactor": 0.9}},
    {"name": "gold", "pbrMetallicRoughness": {"baseColorFactor": [1.0, 0.78, 0.34, 1], "metallicFactor": 1, "roughnessFactor": 0.25}},
    {"name": "checker", "pbrMetallicRoughness": {"baseColorTexture": {"index": 0}, "metallicFactor": 0, "roughnessFactor": 0.6}},
    {"name": "blue glass", "alphaMode": "BLEND",
     "pbrMetallicRoughness": {"baseColorFactor": [0.3, 0.5, 0.95, 0.45], "metallicFactor": 0, "roughnessFactor": 0.05}},
    {"name": "red plastic", "pbrMetallicRoughness": {"baseColorFactor": [0.8, 0.1, 0.08, 1], "metallicFactor": 0, "roughnessFactor": 0.3}},
]

ground = mesh(*box(12, 0.2, 12), 0)
ball = mesh(*sphere(1.0, 48, 24), 1)
crate = mesh(*box(1.4, 1.4, 1.4), 2)
pillar = mesh(*box(0.9, 2.6, 0.9), 3)
small = mesh(*sphere(0.5, 32, 16), 4)

# The camera at (4.5, 3.5, 7.5) looks at (0, 1, 0): yaw about y, then pitch down.
eye, target = (4.5, 3.5, 7.5), (0.0, 1.0, 0.0)
d = [target[i] - eye[i] for i in range(3)]
yaw = math.atan2(-d[0], -d[2])
pitch = math.atan2(d[1], math.hypot(d[0], d[2]))
camera_rotation = quat_mul(quat_about((0, 1, 0), yaw), quat_about((1, 0, 0), pitch))

nodes = [
    {"name": "Ground", "mesh": ground, "translation": [0, -0.1, 0]},
    {"name": "Gold ball", "mesh": ball, "translation": [0, 1, 0]},
    {"name": "Crate", "mesh": crate, "translation": [2.4, 0.7, -0.6], "rotation": quat_about((0, 1, 0), 0.5)},
    {"name": "Glass pillar", "mesh": pillar, "translation": [-1.0, 1.3, 2.0]},
    {"name": "Red ball", "mesh": small, "translation": [-2.6, 0.5, -1.2]},
    {"name": "Camera", "camera": 0, "translation": list(eye), "rotation": camera_rotation},
    {"name": "Sun", "extensions": {"KHR_lights_punctual": {"light": 0}},
     "rotation": quat_mul(quat_about((0, 1, 0), -0.6), quat_about((1, 0, 0), -0.9))},
    {"name": "Lamp", "extensions": {"KHR_lights_punctual": {"light": 1}}, "translation": [-3, 4, 3]},
]

png = checker_png()
doc = {
    "asset": {"version": "2.0", "generator": "make_still_life.py"},
    "extensionsUsed": ["KHR_lights_punctual"],
    "extensions": {"KHR_lights_punctual": {"lights": [
        {"name": "sun", "type": "directional", "color": [1, 0.96, 0.9], "intensity": 0.9},
        {"name": "lamp", "type": "point", "color": [1, 0.8, 0.6], "intensity": 15}]}},
    "scene": 0,
    "scenes": [{"name": "Still life", "nodes": list(range(len(nodes)))}],
    "nodes": nodes,
    "cameras": [{"type": "perspective", "perspective": {"yfov": 0.7, "znear": 0.1, "zfar": 100}}],
    "meshes": meshes,
    "materials": materials,
    "images": [{"bufferView": view(png), "mimeType": "image/png"}],
    "textures": [{"source": 0}],
    "accessors": accessors,
    "bufferViews": views,
}
while len(buf) % 4:
    buf.append(0)
doc["buffers"] = [{"byteLength": len(buf)}]
text = json.dumps(doc, separators=(",", ":")).encode()
text += b" " * (-len(text) % 4)
glb = struct.pack("<4sII", b"glTF", 2, 12 + 8 + len(text) + 8 + len(buf))
glb += struct.pack("<I4s", len(text), b"JSON") + text + struct.pack("<I4s", len(buf), b"BIN\0") + bytes(buf)
with open(sys.argv[1], "wb") as f:
    f.write(glb)
