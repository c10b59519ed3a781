// D3DX 9 math functions (row-vector convention).

#include <d3dx9.h>

#include "pipeline/Formats.h"

#include <cmath>

namespace {

D3DXMATRIX identity()
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

D3DXVECTOR3 normalized(const D3DXVECTOR3& v)
{
    D3DXVECTOR3 out;
    D3DXVec3Normalize(&out, &v);
    return out;
}

} // namespace

extern "C" {

D3DXMATRIX* WINAPI D3DXMatrixMultiply(D3DXMATRIX* pOut, CONST D3DXMATRIX* pM1, CONST D3DXMATRIX* pM2)
{
    if (!pOut || !pM1 || !pM2)
        return nullptr;
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = pM1->m[i][0] * pM2->m[0][j] + pM1->m[i][1] * pM2->m[1][j] + pM1->m[i][2] * pM2->m[2][j] +
                        pM1->m[i][3] * pM2->m[3][j];
    *pOut = r;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixMultiplyTranspose(D3DXMATRIX* pOut, CONST D3DXMATRIX* pM1, CONST D3DXMATRIX* pM2)
{
    D3DXMATRIX product;
    if (!pOut || !D3DXMatrixMultiply(&product, pM1, pM2))
        return nullptr;
    return D3DXMatrixTranspose(pOut, &product);
}

D3DXMATRIX* WINAPI D3DXMatrixTranspose(D3DXMATRIX* pOut, CONST D3DXMATRIX* pM)
{
    if (!pOut || !pM)
        return nullptr;
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = pM->m[j][i];
    *pOut = r;
    return pOut;
}

FLOAT WINAPI D3DXMatrixDeterminant(CONST D3DXMATRIX* pM)
{
    if (!pM)
        return 0.0f;
    const float(*m)[4] = pM->m;
    const float s0 = m[0][0] * m[1][1] - m[1][0] * m[0][1];
    const float s1 = m[0][0] * m[1][2] - m[1][0] * m[0][2];
    const float s2 = m[0][0] * m[1][3] - m[1][0] * m[0][3];
    const float s3 = m[0][1] * m[1][2] - m[1][1] * m[0][2];
    const float s4 = m[0][1] * m[1][3] - m[1][1] * m[0][3];
    const float s5 = m[0][2] * m[1][3] - m[1][2] * m[0][3];
    const float c5 = m[2][2] * m[3][3] - m[3][2] * m[2][3];
    const float c4 = m[2][1] * m[3][3] - m[3][1] * m[2][3];
    const float c3 = m[2][1] * m[3][2] - m[3][1] * m[2][2];
    const float c2 = m[2][0] * m[3][3] - m[3][0] * m[2][3];
    const float c1 = m[2][0] * m[3][2] - m[3][0] * m[2][2];
    const float c0 = m[2][0] * m[3][1] - m[3][0] * m[2][1];
    return s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
}

D3DXMATRIX* WINAPI D3DXMatrixInverse(D3DXMATRIX* pOut, FLOAT* pDeterminant, CONST D3DXMATRIX* pM)
{
    if (!pOut || !pM)
        return nullptr;
    // Inverse through 2x2 sub-determinants of the top and bottom row pairs.
    const float(*m)[4] = pM->m;
    const float s0 = m[0][0] * m[1][1] - m[1][0] * m[0][1];
    const float s1 = m[0][0] * m[1][2] - m[1][0] * m[0][2];
    const float s2 = m[0][0] * m[1][3] - m[1][0] * m[0][3];
    const float s3 = m[0][1] * m[1][2] - m[1][1] * m[0][2];
    const float s4 = m[0][1] * m[1][3] - m[1][1] * m[0][3];
    const float s5 = m[0][2] * m[1][3] - m[1][2] * m[0][3];
    const float c5 = m[2][2] * m[3][3] - m[3][2] * m[2][3];
    const float c4 = m[2][1] * m[3][3] - m[3][1] * m[2][3];
    const float c3 = m[2][1] * m[3][2] - m[3][1] * m[2][2];
    const float c2 = m[2][0] * m[3][3] - m[3][0] * m[2][3];
    const float c1 = m[2][0] * m[3][2] - m[3][0] * m[2][2];
    const float c0 = m[2][0] * m[3][1] - m[3][0] * m[2][1];
    const float det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    if (pDeterminant)
        *pDeterminant = det;
    if (det == 0.0f || !std::isfinite(det))
        return nullptr;
    const float inv = 1.0f / det;
    D3DXMATRIX r;
    r.m[0][0] = (m[1][1] * c5 - m[1][2] * c4 + m[1][3] * c3) * inv;
    r.m[0][1] = (-m[0][1] * c5 + m[0][2] * c4 - m[0][3] * c3) * inv;
    r.m[0][2] = (m[3][1] * s5 - m[3][2] * s4 + m[3][3] * s3) * inv;
    r.m[0][3] = (-m[2][1] * s5 + m[2][2] * s4 - m[2][3] * s3) * inv;
    r.m[1][0] = (-m[1][0] * c5 + m[1][2] * c2 - m[1][3] * c1) * inv;
    r.m[1][1] = (m[0][0] * c5 - m[0][2] * c2 + m[0][3] * c1) * inv;
    r.m[1][2] = (-m[3][0] * s5 + m[3][2] * s2 - m[3][3] * s1) * inv;
    r.m[1][3] = (m[2][0] * s5 - m[2][2] * s2 + m[2][3] * s1) * inv;
    r.m[2][0] = (m[1][0] * c4 - m[1][1] * c2 + m[1][3] * c0) * inv;
    r.m[2][1] = (-m[0][0] * c4 + m[0][1] * c2 - m[0][3] * c0) * inv;
    r.m[2][2] = (m[3][0] * s4 - m[3][1] * s2 + m[3][3] * s0) * inv;
    r.m[2][3] = (-m[2][0] * s4 + m[2][1] * s2 - m[2][3] * s0) * inv;
    r.m[3][0] = (-m[1][0] * c3 + m[1][1] * c1 - m[1][2] * c0) * inv;
    r.m[3][1] = (m[0][0] * c3 - m[0][1] * c1 + m[0][2] * c0) * inv;
    r.m[3][2] = (-m[3][0] * s3 + m[3][1] * s1 - m[3][2] * s0) * inv;
    r.m[3][3] = (m[2][0] * s3 - m[2][1] * s1 + m[2][2] * s0) * inv;
    *pOut = r;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixScaling(D3DXMATRIX* pOut, FLOAT sx, FLOAT sy, FLOAT sz)
{
    if (!D3DXMatrixIdentity(pOut))
        return nullptr;
    pOut->_11 = sx;
    pOut->_22 = sy;
    pOut->_33 = sz;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixTranslation(D3DXMATRIX* pOut, FLOAT x, FLOAT y, FLOAT z)
{
    if (!D3DXMatrixIdentity(pOut))
        return nullptr;
    pOut->_41 = x;
    pOut->_42 = y;
    pOut->_43 = z;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationX(D3DXMATRIX* pOut, FLOAT Angle)
{
    if (!D3DXMatrixIdentity(pOut))
        return nullptr;
    const float c = std::cos(Angle), s = std::sin(Angle);
    pOut->_22 = c;
    pOut->_23 = s;
    pOut->_32 = -s;
    pOut->_33 = c;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationY(D3DXMATRIX* pOut, FLOAT Angle)
{
    if (!D3DXMatrixIdentity(pOut))
        return nullptr;
    const float c = std::cos(Angle), s = std::sin(Angle);
    pOut->_11 = c;
    pOut->_13 = -s;
    pOut->_31 = s;
    pOut->_33 = c;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationZ(D3DXMATRIX* pOut, FLOAT Angle)
{
    if (!D3DXMatrixIdentity(pOut))
        return nullptr;
    const float c = std::cos(Angle), s = std::sin(Angle);
    pOut->_11 = c;
    pOut->_12 = s;
    pOut->_21 = -s;
    pOut->_22 = c;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationAxis(D3DXMATRIX* pOut, CONST D3DXVECTOR3* pV, FLOAT Angle)
{
    if (!pOut || !pV)
        return nullptr;
    const D3DXVECTOR3 v = normalized(*pV);
    const float c = std::cos(Angle), s = std::sin(Angle), t = 1.0f - c;
    D3DXMatrixIdentity(pOut);
    pOut->_11 = t * v.x * v.x + c;
    pOut->_12 = t * v.x * v.y + s * v.z;
    pOut->_13 = t * v.x * v.z - s * v.y;
    pOut->_21 = t * v.x * v.y - s * v.z;
    pOut->_22 = t * v.y * v.y + c;
    pOut->_23 = t * v.y * v.z + s * v.x;
    pOut->_31 = t * v.x * v.z + s * v.y;
    pOut->_32 = t * v.y * v.z - s * v.x;
    pOut->_33 = t * v.z * v.z + c;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationQuaternion(D3DXMATRIX* pOut, CONST D3DXQUATERNION* pQ)
{
    if (!pOut || !pQ)
        return nullptr;
    const float x = pQ->x, y = pQ->y, z = pQ->z, w = pQ->w;
    D3DXMatrixIdentity(pOut);
    pOut->_11 = 1.0f - 2.0f * (y * y + z * z);
    pOut->_12 = 2.0f * (x * y + z * w);
    pOut->_13 = 2.0f * (x * z - y * w);
    pOut->_21 = 2.0f * (x * y - z * w);
    pOut->_22 = 1.0f - 2.0f * (x * x + z * z);
    pOut->_23 = 2.0f * (y * z + x * w);
    pOut->_31 = 2.0f * (x * z + y * w);
    pOut->_32 = 2.0f * (y * z - x * w);
    pOut->_33 = 1.0f - 2.0f * (x * x + y * y);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* pOut, FLOAT Yaw, FLOAT Pitch, FLOAT Roll)
{
    if (!pOut)
        return nullptr;
    // Roll about z first, then pitch about x, then yaw about y.
    D3DXMATRIX roll, pitch, yaw;
    D3DXMatrixRotationZ(&roll, Roll);
    D3DXMatrixRotationX(&pitch, Pitch);
    D3DXMatrixRotationY(&yaw, Yaw);
    D3DXMatrixMultiply(pOut, &roll, &pitch);
    return D3DXMatrixMultiply(pOut, pOut, &yaw);
}

namespace {

D3DXMATRIX* lookAt(D3DXMATRIX* pOut, const D3DXVECTOR3& eye, const D3DXVECTOR3& zaxis, const D3DXVECTOR3& up)
{
    D3DXVECTOR3 xaxis, yaxis;
    D3DXVec3Cross(&xaxis, &up, &zaxis);
    xaxis = normalized(xaxis);
    D3DXVec3Cross(&yaxis, &zaxis, &xaxis);
    *pOut = D3DXMATRIX(xaxis.x, yaxis.x, zaxis.x, 0.0f, xaxis.y, yaxis.y, zaxis.y, 0.0f, xaxis.z, yaxis.z, zaxis.z,
                       0.0f, -D3DXVec3Dot(&xaxis, &eye), -D3DXVec3Dot(&yaxis, &eye), -D3DXVec3Dot(&zaxis, &eye), 1.0f);
    return pOut;
}

} // namespace

D3DXMATRIX* WINAPI D3DXMatrixLookAtRH(D3DXMATRIX* pOut, CONST D3DXVECTOR3* pEye, CONST D3DXVECTOR3* pAt,
                                      CONST D3DXVECTOR3* pUp)
{
    if (!pOut || !pEye || !pAt || !pUp)
        return nullptr;
    return lookAt(pOut, *pEye, normalized(*pEye - *pAt), *pUp);
}

D3DXMATRIX* WINAPI D3DXMatrixLookAtLH(D3DXMATRIX* pOut, CONST D3DXVECTOR3* pEye, CONST D3DXVECTOR3* pAt,
                                      CONST D3DXVECTOR3* pUp)
{
    if (!pOut || !pEye || !pAt || !pUp)
        return nullptr;
    return lookAt(pOut, *pEye, normalized(*pAt - *pEye), *pUp);
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveRH(D3DXMATRIX* pOut, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf)
{
    if (!pOut)
        return nullptr;
    *pOut = D3DXMATRIX(2.0f * zn / w, 0, 0, 0, 0, 2.0f * zn / h, 0, 0, 0, 0, zf / (zn - zf), -1.0f, 0, 0,
                       zn * zf / (zn - zf), 0);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveLH(D3DXMATRIX* pOut, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf)
{
    if (!pOut)
        return nullptr;
    *pOut = D3DXMATRIX(2.0f * zn / w, 0, 0, 0, 0, 2.0f * zn / h, 0, 0, 0, 0, zf / (zf - zn), 1.0f, 0, 0,
                       zn * zf / (zn - zf), 0);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovRH(D3DXMATRIX* pOut, FLOAT fovy, FLOAT Aspect, FLOAT zn, FLOAT zf)
{
    if (!pOut)
        return nullptr;
    const float yScale = 1.0f / std::tan(fovy / 2.0f);
    const float xScale = yScale / Aspect;
    *pOut = D3DXMATRIX(xScale, 0, 0, 0, 0, yScale, 0, 0, 0, 0, zf / (zn - zf), -1.0f, 0, 0, zn * zf / (zn - zf), 0);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, FLOAT fovy, FLOAT Aspect, FLOAT zn, FLOAT zf)
{
    if (!pOut)
        return nullptr;
    const float yScale = 1.0f / std::tan(fovy / 2.0f);
    const float xScale = yScale / Aspect;
    *pOut = D3DXMATRIX(xScale, 0, 0, 0, 0, yScale, 0, 0, 0, 0, zf / (zf - zn), 1.0f, 0, 0, zn * zf / (zn - zf), 0);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveOffCenterRH(D3DXMATRIX* pOut, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn,
                                                    FLOAT zf)
{
    if (!pOut)
        return nullptr;
    *pOut = D3DXMATRIX(2.0f * zn / (r - l), 0, 0, 0, 0, 2.0f * zn / (t - b), 0, 0, (l + r) / (r - l),
                       (t + b) / (t - b), zf / (zn - zf), -1.0f, 0, 0, zn * zf / (zn - zf), 0);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveOffCenterLH(D3DXMATRIX* pOut, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn,
                                                    FLOAT zf)
{
    if (!pOut)
        return nullptr;
    *pOut = D3DXMATRIX(2.0f * zn / (r - l), 0, 0, 0, 0, 2.0f * zn / (t - b), 0, 0, (l + r) / (l - r),
                       (t + b) / (b - t), zf / (zf - zn), 1.0f, 0, 0, zn * zf / (zn - zf), 0);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixOrthoRH(D3DXMATRIX* pOut, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf)
{
    if (!pOut)
        return nullptr;
    *pOut = D3DXMATRIX(2.0f / w, 0, 0, 0, 0, 2.0f / h, 0, 0, 0, 0, 1.0f / (zn - zf), 0, 0, 0, zn / (zn - zf), 1.0f);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixOrthoLH(D3DXMATRIX* pOut, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf)
{
    if (!pOut)
        return nullptr;
    *pOut = D3DXMATRIX(2.0f / w, 0, 0, 0, 0, 2.0f / h, 0, 0, 0, 0, 1.0f / (zf - zn), 0, 0, 0, zn / (zn - zf), 1.0f);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixOrthoOffCenterRH(D3DXMATRIX* pOut, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn, FLOAT zf)
{
    if (!pOut)
        return nullptr;
    *pOut = D3DXMATRIX(2.0f / (r - l), 0, 0, 0, 0, 2.0f / (t - b), 0, 0, 0, 0, 1.0f / (zn - zf), 0, (l + r) / (l - r),
                       (t + b) / (b - t), zn / (zn - zf), 1.0f);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* pOut, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn, FLOAT zf)
{
    if (!pOut)
        return nullptr;
    *pOut = D3DXMATRIX(2.0f / (r - l), 0, 0, 0, 0, 2.0f / (t - b), 0, 0, 0, 0, 1.0f / (zf - zn), 0, (l + r) / (l - r),
                       (t + b) / (b - t), zn / (zn - zf), 1.0f);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixReflect(D3DXMATRIX* pOut, CONST D3DXPLANE* pPlane)
{
    if (!pOut || !pPlane)
        return nullptr;
    D3DXPLANE p;
    D3DXPlaneNormalize(&p, pPlane);
    *pOut = D3DXMATRIX(1.0f - 2.0f * p.a * p.a, -2.0f * p.b * p.a, -2.0f * p.c * p.a, 0, -2.0f * p.a * p.b,
                       1.0f - 2.0f * p.b * p.b, -2.0f * p.c * p.b, 0, -2.0f * p.a * p.c, -2.0f * p.b * p.c,
                       1.0f - 2.0f * p.c * p.c, 0, -2.0f * p.a * p.d, -2.0f * p.b * p.d, -2.0f * p.c * p.d, 1.0f);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixShadow(D3DXMATRIX* pOut, CONST D3DXVECTOR4* pLight, CONST D3DXPLANE* pPlane)
{
    if (!pOut || !pLight || !pPlane)
        return nullptr;
    D3DXPLANE p;
    D3DXPlaneNormalize(&p, pPlane);
    const float d = D3DXPlaneDot(&p, pLight);
    const float plane[4] = {p.a, p.b, p.c, p.d};
    const float light[4] = {pLight->x, pLight->y, pLight->z, pLight->w};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            pOut->m[i][j] = (i == j ? d : 0.0f) - plane[i] * light[j];
    return pOut;
}

// Vectors

D3DXVECTOR2* WINAPI D3DXVec2Normalize(D3DXVECTOR2* pOut, CONST D3DXVECTOR2* pV)
{
    if (!pOut || !pV)
        return nullptr;
    const float length = D3DXVec2Length(pV);
    *pOut = length > 0.0f ? D3DXVECTOR2(pV->x / length, pV->y / length) : D3DXVECTOR2(0.0f, 0.0f);
    return pOut;
}

D3DXVECTOR4* WINAPI D3DXVec2Transform(D3DXVECTOR4* pOut, CONST D3DXVECTOR2* pV, CONST D3DXMATRIX* pM)
{
    if (!pOut || !pV || !pM)
        return nullptr;
    const float x = pV->x, y = pV->y;
    *pOut = D3DXVECTOR4(x * pM->_11 + y * pM->_21 + pM->_41, x * pM->_12 + y * pM->_22 + pM->_42,
                        x * pM->_13 + y * pM->_23 + pM->_43, x * pM->_14 + y * pM->_24 + pM->_44);
    return pOut;
}

D3DXVECTOR2* WINAPI D3DXVec2TransformCoord(D3DXVECTOR2* pOut, CONST D3DXVECTOR2* pV, CONST D3DXMATRIX* pM)
{
    D3DXVECTOR4 v;
    if (!pOut || !D3DXVec2Transform(&v, pV, pM))
        return nullptr;
    *pOut = v.w != 0.0f ? D3DXVECTOR2(v.x / v.w, v.y / v.w) : D3DXVECTOR2(0.0f, 0.0f);
    return pOut;
}

D3DXVECTOR3* WINAPI D3DXVec3Normalize(D3DXVECTOR3* pOut, CONST D3DXVECTOR3* pV)
{
    if (!pOut || !pV)
        return nullptr;
    const float length = D3DXVec3Length(pV);
    *pOut = length > 0.0f ? D3DXVECTOR3(pV->x / length, pV->y / length, pV->z / length)
                          : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    return pOut;
}

D3DXVECTOR4* WINAPI D3DXVec3Transform(D3DXVECTOR4* pOut, CONST D3DXVECTOR3* pV, CONST D3DXMATRIX* pM)
{
    if (!pOut || !pV || !pM)
        return nullptr;
    const float x = pV->x, y = pV->y, z = pV->z;
    *pOut = D3DXVECTOR4(x * pM->_11 + y * pM->_21 + z * pM->_31 + pM->_41,
                        x * pM->_12 + y * pM->_22 + z * pM->_32 + pM->_42,
                        x * pM->_13 + y * pM->_23 + z * pM->_33 + pM->_43,
                        x * pM->_14 + y * pM->_24 + z * pM->_34 + pM->_44);
    return pOut;
}

D3DXVECTOR3* WINAPI D3DXVec3TransformCoord(D3DXVECTOR3* pOut, CONST D3DXVECTOR3* pV, CONST D3DXMATRIX* pM)
{
    D3DXVECTOR4 v;
    if (!pOut || !D3DXVec3Transform(&v, pV, pM))
        return nullptr;
    *pOut = v.w != 0.0f ? D3DXVECTOR3(v.x / v.w, v.y / v.w, v.z / v.w) : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    return pOut;
}

D3DXVECTOR3* WINAPI D3DXVec3TransformNormal(D3DXVECTOR3* pOut, CONST D3DXVECTOR3* pV, CONST D3DXMATRIX* pM)
{
    if (!pOut || !pV || !pM)
        return nullptr;
    const float x = pV->x, y = pV->y, z = pV->z;
    *pOut = D3DXVECTOR3(x * pM->_11 + y * pM->_21 + z * pM->_31, x * pM->_12 + y * pM->_22 + z * pM->_32,
                        x * pM->_13 + y * pM->_23 + z * pM->_33);
    return pOut;
}

D3DXVECTOR4* WINAPI D3DXVec3TransformArray(D3DXVECTOR4* pOut, UINT OutStride, CONST D3DXVECTOR3* pV, UINT VStride,
                                           CONST D3DXMATRIX* pM, UINT n)
{
    if (!pOut || !pV || !pM)
        return nullptr;
    for (UINT i = 0; i < n; ++i)
        D3DXVec3Transform(reinterpret_cast<D3DXVECTOR4*>(reinterpret_cast<BYTE*>(pOut) + i * OutStride),
                          reinterpret_cast<const D3DXVECTOR3*>(reinterpret_cast<const BYTE*>(pV) + i * VStride), pM);
    return pOut;
}

D3DXVECTOR3* WINAPI D3DXVec3TransformCoordArray(D3DXVECTOR3* pOut, UINT OutStride, CONST D3DXVECTOR3* pV,
                                                UINT VStride, CONST D3DXMATRIX* pM, UINT n)
{
    if (!pOut || !pV || !pM)
        return nullptr;
    for (UINT i = 0; i < n; ++i)
        D3DXVec3TransformCoord(reinterpret_cast<D3DXVECTOR3*>(reinterpret_cast<BYTE*>(pOut) + i * OutStride),
                               reinterpret_cast<const D3DXVECTOR3*>(reinterpret_cast<const BYTE*>(pV) + i * VStride),
                               pM);
    return pOut;
}

D3DXVECTOR3* WINAPI D3DXVec3TransformNormalArray(D3DXVECTOR3* pOut, UINT OutStride, CONST D3DXVECTOR3* pV,
                                                 UINT VStride, CONST D3DXMATRIX* pM, UINT n)
{
    if (!pOut || !pV || !pM)
        return nullptr;
    for (UINT i = 0; i < n; ++i)
        D3DXVec3TransformNormal(reinterpret_cast<D3DXVECTOR3*>(reinterpret_cast<BYTE*>(pOut) + i * OutStride),
                                reinterpret_cast<const D3DXVECTOR3*>(reinterpret_cast<const BYTE*>(pV) + i * VStride),
                                pM);
    return pOut;
}

namespace {

D3DXMATRIX worldViewProjection(CONST D3DXMATRIX* pProjection, CONST D3DXMATRIX* pView, CONST D3DXMATRIX* pWorld)
{
    // Missing matrices count as identity.
    D3DXMATRIX m = pWorld ? *pWorld : identity();
    if (pView)
        D3DXMatrixMultiply(&m, &m, pView);
    if (pProjection)
        D3DXMatrixMultiply(&m, &m, pProjection);
    return m;
}

} // namespace

D3DXVECTOR3* WINAPI D3DXVec3Project(D3DXVECTOR3* pOut, CONST D3DXVECTOR3* pV, CONST D3DVIEWPORT9* pViewport,
                                    CONST D3DXMATRIX* pProjection, CONST D3DXMATRIX* pView, CONST D3DXMATRIX* pWorld)
{
    if (!pOut || !pV)
        return nullptr;
    const D3DXMATRIX m = worldViewProjection(pProjection, pView, pWorld);
    D3DXVECTOR3 clip;
    D3DXVec3TransformCoord(&clip, pV, &m);
    if (pViewport) {
        const D3DVIEWPORT9& v = *pViewport;
        clip.x = static_cast<float>(v.X) + (1.0f + clip.x) * static_cast<float>(v.Width) / 2.0f;
        clip.y = static_cast<float>(v.Y) + (1.0f - clip.y) * static_cast<float>(v.Height) / 2.0f;
        clip.z = v.MinZ + clip.z * (v.MaxZ - v.MinZ);
    }
    *pOut = clip;
    return pOut;
}

D3DXVECTOR3* WINAPI D3DXVec3Unproject(D3DXVECTOR3* pOut, CONST D3DXVECTOR3* pV, CONST D3DVIEWPORT9* pViewport,
                                      CONST D3DXMATRIX* pProjection, CONST D3DXMATRIX* pView, CONST D3DXMATRIX* pWorld)
{
    if (!pOut || !pV)
        return nullptr;
    D3DXMATRIX m = worldViewProjection(pProjection, pView, pWorld);
    if (!D3DXMatrixInverse(&m, nullptr, &m))
        return nullptr;
    D3DXVECTOR3 clip = *pV;
    if (pViewport) {
        const D3DVIEWPORT9& v = *pViewport;
        clip.x = 2.0f * (clip.x - static_cast<float>(v.X)) / static_cast<float>(v.Width) - 1.0f;
        clip.y = 1.0f - 2.0f * (clip.y - static_cast<float>(v.Y)) / static_cast<float>(v.Height);
        clip.z = (clip.z - v.MinZ) / (v.MaxZ - v.MinZ);
    }
    return D3DXVec3TransformCoord(pOut, &clip, &m);
}

D3DXVECTOR4* WINAPI D3DXVec4Normalize(D3DXVECTOR4* pOut, CONST D3DXVECTOR4* pV)
{
    if (!pOut || !pV)
        return nullptr;
    const float length = D3DXVec4Length(pV);
    *pOut = length > 0.0f ? *pV / length : D3DXVECTOR4(0.0f, 0.0f, 0.0f, 0.0f);
    return pOut;
}

D3DXVECTOR4* WINAPI D3DXVec4Transform(D3DXVECTOR4* pOut, CONST D3DXVECTOR4* pV, CONST D3DXMATRIX* pM)
{
    if (!pOut || !pV || !pM)
        return nullptr;
    const float x = pV->x, y = pV->y, z = pV->z, w = pV->w;
    *pOut = D3DXVECTOR4(x * pM->_11 + y * pM->_21 + z * pM->_31 + w * pM->_41,
                        x * pM->_12 + y * pM->_22 + z * pM->_32 + w * pM->_42,
                        x * pM->_13 + y * pM->_23 + z * pM->_33 + w * pM->_43,
                        x * pM->_14 + y * pM->_24 + z * pM->_34 + w * pM->_44);
    return pOut;
}

// Quaternions

D3DXQUATERNION* WINAPI D3DXQuaternionRotationAxis(D3DXQUATERNION* pOut, CONST D3DXVECTOR3* pV, FLOAT Angle)
{
    if (!pOut || !pV)
        return nullptr;
    const D3DXVECTOR3 v = normalized(*pV);
    const float s = std::sin(Angle / 2.0f);
    *pOut = D3DXQUATERNION(v.x * s, v.y * s, v.z * s, std::cos(Angle / 2.0f));
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionRotationMatrix(D3DXQUATERNION* pOut, CONST D3DXMATRIX* pM)
{
    if (!pOut || !pM)
        return nullptr;
    const D3DXMATRIX& m = *pM;
    const float trace = m._11 + m._22 + m._33;
    if (trace > 0.0f) {
        const float s = std::sqrt(trace + 1.0f) * 2.0f;
        *pOut = D3DXQUATERNION((m._23 - m._32) / s, (m._31 - m._13) / s, (m._12 - m._21) / s, 0.25f * s);
    } else if (m._11 > m._22 && m._11 > m._33) {
        const float s = std::sqrt(1.0f + m._11 - m._22 - m._33) * 2.0f;
        *pOut = D3DXQUATERNION(0.25f * s, (m._12 + m._21) / s, (m._31 + m._13) / s, (m._23 - m._32) / s);
    } else if (m._22 > m._33) {
        const float s = std::sqrt(1.0f + m._22 - m._11 - m._33) * 2.0f;
        *pOut = D3DXQUATERNION((m._12 + m._21) / s, 0.25f * s, (m._23 + m._32) / s, (m._31 - m._13) / s);
    } else {
        const float s = std::sqrt(1.0f + m._33 - m._11 - m._22) * 2.0f;
        *pOut = D3DXQUATERNION((m._31 + m._13) / s, (m._23 + m._32) / s, 0.25f * s, (m._12 - m._21) / s);
    }
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionNormalize(D3DXQUATERNION* pOut, CONST D3DXQUATERNION* pQ)
{
    if (!pOut || !pQ)
        return nullptr;
    const float length = std::sqrt(pQ->x * pQ->x + pQ->y * pQ->y + pQ->z * pQ->z + pQ->w * pQ->w);
    *pOut = length > 0.0f ? D3DXQUATERNION(pQ->x / length, pQ->y / length, pQ->z / length, pQ->w / length)
                          : D3DXQUATERNION(0.0f, 0.0f, 0.0f, 0.0f);
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionMultiply(D3DXQUATERNION* pOut, CONST D3DXQUATERNION* pQ1,
                                              CONST D3DXQUATERNION* pQ2)
{
    if (!pOut || !pQ1 || !pQ2)
        return nullptr;
    // The rotation of Q1 followed by that of Q2: the product Q2 Q1.
    const D3DXQUATERNION a = *pQ2, b = *pQ1;
    *pOut = D3DXQUATERNION(a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
                           a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z);
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionSlerp(D3DXQUATERNION* pOut, CONST D3DXQUATERNION* pQ1, CONST D3DXQUATERNION* pQ2,
                                           FLOAT t)
{
    if (!pOut || !pQ1 || !pQ2)
        return nullptr;
    float cosine = pQ1->x * pQ2->x + pQ1->y * pQ2->y + pQ1->z * pQ2->z + pQ1->w * pQ2->w;
    float sign = 1.0f;
    if (cosine < 0.0f) {
        cosine = -cosine;
        sign = -1.0f;
    }
    float w1 = 1.0f - t, w2 = t;
    if (cosine < 0.9999f) {
        const float angle = std::acos(cosine);
        const float s = std::sin(angle);
        w1 = std::sin((1.0f - t) * angle) / s;
        w2 = std::sin(t * angle) / s;
    }
    w2 *= sign;
    *pOut = D3DXQUATERNION(w1 * pQ1->x + w2 * pQ2->x, w1 * pQ1->y + w2 * pQ2->y, w1 * pQ1->z + w2 * pQ2->z,
                           w1 * pQ1->w + w2 * pQ2->w);
    return pOut;
}

// Planes

D3DXPLANE* WINAPI D3DXPlaneNormalize(D3DXPLANE* pOut, CONST D3DXPLANE* pP)
{
    if (!pOut || !pP)
        return nullptr;
    const float length = std::sqrt(pP->a * pP->a + pP->b * pP->b + pP->c * pP->c);
    *pOut = length > 0.0f ? D3DXPLANE(pP->a / length, pP->b / length, pP->c / length, pP->d / length)
                          : D3DXPLANE(0.0f, 0.0f, 0.0f, 0.0f);
    return pOut;
}

D3DXPLANE* WINAPI D3DXPlaneFromPointNormal(D3DXPLANE* pOut, CONST D3DXVECTOR3* pPoint, CONST D3DXVECTOR3* pNormal)
{
    if (!pOut || !pPoint || !pNormal)
        return nullptr;
    *pOut = D3DXPLANE(pNormal->x, pNormal->y, pNormal->z, -D3DXVec3Dot(pPoint, pNormal));
    return pOut;
}

D3DXPLANE* WINAPI D3DXPlaneFromPoints(D3DXPLANE* pOut, CONST D3DXVECTOR3* pV1, CONST D3DXVECTOR3* pV2,
                                      CONST D3DXVECTOR3* pV3)
{
    if (!pOut || !pV1 || !pV2 || !pV3)
        return nullptr;
    const D3DXVECTOR3 e1 = *pV2 - *pV1, e2 = *pV3 - *pV1;
    D3DXVECTOR3 normal;
    D3DXVec3Cross(&normal, &e1, &e2);
    normal = normalized(normal);
    return D3DXPlaneFromPointNormal(pOut, pV1, &normal);
}

D3DXPLANE* WINAPI D3DXPlaneTransform(D3DXPLANE* pOut, CONST D3DXPLANE* pP, CONST D3DXMATRIX* pM)
{
    if (!pOut || !pP || !pM)
        return nullptr;
    const D3DXVECTOR4 v(pP->a, pP->b, pP->c, pP->d);
    D3DXVECTOR4 r;
    D3DXVec4Transform(&r, &v, pM);
    *pOut = D3DXPLANE(r.x, r.y, r.z, r.w);
    return pOut;
}

// Half floats

D3DXFLOAT16* WINAPI D3DXFloat32To16Array(D3DXFLOAT16* pOut, CONST FLOAT* pIn, UINT n)
{
    if (!pOut || !pIn)
        return nullptr;
    for (UINT i = 0; i < n; ++i)
        pOut[i].value = swd3d9::floatToHalf(pIn[i]);
    return pOut;
}

FLOAT* WINAPI D3DXFloat16To32Array(FLOAT* pOut, CONST D3DXFLOAT16* pIn, UINT n)
{
    if (!pOut || !pIn)
        return nullptr;
    for (UINT i = 0; i < n; ++i)
        pOut[i] = swd3d9::halfToFloat(pIn[i].value);
    return pOut;
}

} // extern "C"
