// Vectorisable approximations of the shader language's transcendental
// functions, on the vector types V (floats) and VI (32-bit ints) of one
// instruction set. Written with plain vector arithmetic, so that the same
// code serves every instruction set: ProgramKernels.h includes this file
// once per set, inside that set's namespace and target (hence no include
// guard), after defining V, VI, vmin, vmax, vsqrt and splat.
//
// Accuracy: exp, exp2, log, log2, sin, cos, atan and their relatives are
// within about 2e-7 relative (a few ulp) over the ranges shaders use; pow
// inherits exp2's error scaled by |y log2 x|. sqrt and division are exact.

// Bits of floats and floats of bits.
inline VI bitsOf(V x) { return reinterpret_cast<VI&>(x); }
inline V floatsOf(VI x) { return reinterpret_cast<V&>(x); }
inline V selectV(VI mask, V a, V b) { return floatsOf((mask & bitsOf(a)) | (~mask & bitsOf(b))); }
inline V absV(V x) { return floatsOf(bitsOf(x) & splatI(0x7fffffff)); }
inline V copySign(V magnitude, V sign)
{
    return floatsOf((bitsOf(magnitude) & splatI(0x7fffffff)) | (bitsOf(sign) & splatI(int32_t(0x80000000u))));
}

// Rounding without SSE4.1: through the integer conversion for |x| < 2^23,
// where every float above is already an integer.
inline V truncV(V x)
{
    const V t = __builtin_convertvector(__builtin_convertvector(x, VI), V);
    return selectV(absV(x) < splat(8388608.0f), copySign(t, x), x);
}
inline V floorV(V x)
{
    const V t = truncV(x);
    return t - selectV(t > x, splat(1.0f), splat(0.0f));
}
inline V ceilV(V x)
{
    const V t = truncV(x);
    return t + selectV(t < x, splat(1.0f), splat(0.0f));
}
// Round half to even, as the processor's default rounding does: adding
// and removing 2^23 leaves the nearest integer.
inline V roundEvenV(V x)
{
    const V magic = copySign(splat(8388608.0f), x);
    V r = (x + magic) - magic;
    return selectV(absV(x) < splat(8388608.0f), copySign(r, x), x);
}

// 2^n for integer n in [-126, 127].
inline V powerOfTwo(VI n) { return floatsOf((n + 127) << 23); }

// 2^x: x = n + f with |f| <= 1/2, 2^f by its Taylor series to degree 6
// (relative error below 1.3e-7).
inline V exp2V(V x)
{
    const V clamped = vmin(vmax(x, splat(-127.0f)), splat(128.0f));
    const V n = roundEvenV(clamped);
    const V f = clamped - n;
    V p = splat(1.5403530393381606e-4f);
    p = p * f + splat(1.3333558146428443e-3f);
    p = p * f + splat(9.6181291076284772e-3f);
    p = p * f + splat(5.5504108664821580e-2f);
    p = p * f + splat(2.4022650695910071e-1f);
    p = p * f + splat(6.9314718055994531e-1f);
    p = p * f + splat(1.0f);
    // n = 128 would overflow the exponent field: scale in two steps.
    const VI ni = __builtin_convertvector(n, VI);
    const VI half = ni >> 1;
    V r = p * powerOfTwo(half) * powerOfTwo(ni - half);
    r = selectV(x < splat(-126.0f), splat(0.0f), r);
    r = selectV(x >= splat(128.0f), splat(__builtin_inff()), r);
    return selectV(x != x, x, r);
}

// e^x with a Cody-Waite reduction by ln 2 (so that large |x| keep their
// precision): x = n ln2 + r, |r| <= ln2 / 2, e^r by Taylor to degree 7.
inline V expV(V x)
{
    const V clamped = vmin(vmax(x, splat(-88.8f)), splat(88.8f));
    const V n = roundEvenV(clamped * splat(1.4426950408889634f));
    V r = clamped - n * splat(0.693145751953125f);
    r = r - n * splat(1.428606765330187e-6f);
    V p = splat(1.9841269841269841e-4f);
    p = p * r + splat(1.3888888888888889e-3f);
    p = p * r + splat(8.3333333333333333e-3f);
    p = p * r + splat(4.1666666666666667e-2f);
    p = p * r + splat(1.6666666666666667e-1f);
    p = p * r + splat(0.5f);
    p = p * r + splat(1.0f);
    p = p * r + splat(1.0f);
    const VI ni = __builtin_convertvector(n, VI);
    const VI half = ni >> 1;
    V result = p * powerOfTwo(half) * powerOfTwo(ni - half);
    result = selectV(x < splat(-88.8f), splat(0.0f), result);
    result = selectV(x > splat(88.8f), splat(__builtin_inff()), result);
    return selectV(x != x, x, result);
}

// ln x: x = 2^e m with m in [sqrt(1/2), sqrt(2)), ln m = 2 atanh(t) with
// t = (m - 1) / (m + 1), |t| <= 0.172, by its series to t^11.
inline V logV(V x)
{
    const VI bits = bitsOf(x);
    VI e = ((bits >> 23) & splatI(0xff)) - splatI(127);
    V m = floatsOf((bits & splatI(0x007fffff)) | splatI(0x3f800000));
    const VI big = m > splat(1.41421356f);
    m = selectV(big, m * splat(0.5f), m);
    e = e - big; // big is -1 where true
    const V t = (m - splat(1.0f)) / (m + splat(1.0f));
    const V t2 = t * t;
    V p = splat(1.0f / 11.0f);
    p = p * t2 + splat(1.0f / 9.0f);
    p = p * t2 + splat(1.0f / 7.0f);
    p = p * t2 + splat(1.0f / 5.0f);
    p = p * t2 + splat(1.0f / 3.0f);
    p = p * t2 + splat(1.0f);
    const V lnm = splat(2.0f) * t * p;
    const V ef = __builtin_convertvector(e, V);
    V r = ef * splat(0.693145751953125f) + (ef * splat(1.428606765330187e-6f) + lnm);
    r = selectV(x == splat(0.0f), splat(-__builtin_inff()), r);
    r = selectV(x == splat(__builtin_inff()), x, r);
    return selectV((x < splat(0.0f)) | (x != x), splat(__builtin_nanf("")), r);
}

inline V log2V(V x)
{
    const VI bits = bitsOf(x);
    VI e = ((bits >> 23) & splatI(0xff)) - splatI(127);
    V m = floatsOf((bits & splatI(0x007fffff)) | splatI(0x3f800000));
    const VI big = m > splat(1.41421356f);
    m = selectV(big, m * splat(0.5f), m);
    e = e - big;
    const V t = (m - splat(1.0f)) / (m + splat(1.0f));
    const V t2 = t * t;
    V p = splat(1.0f / 11.0f);
    p = p * t2 + splat(1.0f / 9.0f);
    p = p * t2 + splat(1.0f / 7.0f);
    p = p * t2 + splat(1.0f / 5.0f);
    p = p * t2 + splat(1.0f / 3.0f);
    p = p * t2 + splat(1.0f);
    // 2 / ln 2 = 2.8853900817779268
    V r = __builtin_convertvector(e, V) + splat(2.8853900817779268f) * t * p;
    r = selectV(x == splat(0.0f), splat(-__builtin_inff()), r);
    r = selectV(x == splat(__builtin_inff()), x, r);
    return selectV((x < splat(0.0f)) | (x != x), splat(__builtin_nanf("")), r);
}

// x^y as Direct3D's pow: of |x|, with pow(x, 0) = 1 (also for x = 0).
inline V powV(V x, V y)
{
    const V r = exp2V(y * log2V(absV(x)));
    return selectV(y == splat(0.0f), splat(1.0f), r);
}

// Sine and cosine share the reduction x = k pi/2 + r, |r| <= pi/4 (pi/2 in
// three parts, exact products for |k| < 2^15), and polynomials to r^9 and
// r^10; the quadrant k mod 4 picks and signs them.
inline void sinCosV(V x, V& sine, V& cosine)
{
    const V k = roundEvenV(x * splat(0.63661977236758134f));
    V r = x - k * splat(1.5703125f);
    r = r - k * splat(4.837512969970703125e-4f);
    r = r - k * splat(7.54978995489188216e-8f);
    const V r2 = r * r;
    V s = splat(2.7557319223985891e-6f);
    s = s * r2 - splat(1.9841269841269841e-4f);
    s = s * r2 + splat(8.3333333333333333e-3f);
    s = s * r2 - splat(1.6666666666666667e-1f);
    s = s * r2 * r + r;
    V c = splat(-2.7557319223985891e-7f);
    c = c * r2 + splat(2.4801587301587302e-5f);
    c = c * r2 - splat(1.3888888888888889e-3f);
    c = c * r2 + splat(4.1666666666666667e-2f);
    c = c * r2 - splat(0.5f);
    c = c * r2 + splat(1.0f);
    const VI q = __builtin_convertvector(k, VI);
    const VI swap = (q & 1) != 0;
    const V sinAbs = selectV(swap, c, s);
    const V cosAbs = selectV(swap, s, c);
    const VI signBit = splatI(int32_t(0x80000000u));
    sine = floatsOf(bitsOf(sinAbs) ^ (((q & 2) != 0) & signBit));
    cosine = floatsOf(bitsOf(cosAbs) ^ ((((q + 1) & 2) != 0) & signBit));
    // Beyond 2^22 the reduction has no precision left.
    const VI huge = absV(x) > splat(4194304.0f);
    sine = selectV(huge, splat(0.0f), sine);
    cosine = selectV(huge, splat(1.0f), cosine);
    sine = selectV(x != x, x, sine);
    cosine = selectV(x != x, x, cosine);
}

// atan of t in [0, 1]: Cephes' reduction to |u| <= tan(pi/8) and its
// degree-9 odd polynomial.
inline V atanUnit(V t)
{
    const VI reduce = t > splat(0.41421356237309503f);
    const V u = selectV(reduce, (t - splat(1.0f)) / (t + splat(1.0f)), t);
    const V z = u * u;
    V p = splat(8.05374449538e-2f);
    p = p * z - splat(1.38776856032e-1f);
    p = p * z + splat(1.99777106478e-1f);
    p = p * z - splat(3.33329491539e-1f);
    p = p * z * u + u;
    return p + selectV(reduce, splat(0.78539816339744831f), splat(0.0f));
}

inline V atanV(V x)
{
    const V a = absV(x);
    const VI big = a > splat(1.0f);
    const V t = selectV(big, splat(1.0f) / a, a);
    V r = atanUnit(t);
    r = selectV(big, splat(1.5707963267948966f) - r, r);
    return copySign(r, x);
}

inline V atan2V(V y, V x)
{
    const V ax = absV(x), ay = absV(y);
    const V hi = vmax(ax, ay), lo = vmin(ax, ay);
    const V t = selectV(hi == splat(0.0f), splat(0.0f), lo / hi);
    V r = atanUnit(t);
    r = selectV(ay > ax, splat(1.5707963267948966f) - r, r);
    r = selectV(bitsOf(x) < splatI(0), splat(3.1415926535897932f) - r, r);
    r = copySign(r, y);
    return selectV((x != x) | (y != y), x + y, r);
}

inline V asinV(V x)
{
    return atan2V(x, vsqrt((splat(1.0f) - x) * (splat(1.0f) + x)));
}

inline V acosV(V x)
{
    return atan2V(vsqrt((splat(1.0f) - x) * (splat(1.0f) + x)), x);
}

inline V sinhV(V x)
{
    const V e = expV(absV(x));
    const V big = splat(0.5f) * (e - splat(1.0f) / e);
    const V x2 = x * x;
    // Near 0 the difference cancels: the series to x^7 instead.
    V small = splat(1.0f / 5040.0f);
    small = small * x2 + splat(1.0f / 120.0f);
    small = small * x2 + splat(1.0f / 6.0f);
    small = small * x2 * absV(x) + absV(x);
    return copySign(selectV(absV(x) < splat(0.5f), small, big), x);
}

inline V coshV(V x)
{
    const V e = expV(absV(x));
    return splat(0.5f) * (e + splat(1.0f) / e);
}

inline V tanhV(V x)
{
    const V a = absV(x);
    const V e = expV(splat(-2.0f) * a);
    const V big = (splat(1.0f) - e) / (splat(1.0f) + e);
    const V small = sinhV(a) / coshV(a);
    return copySign(selectV(a < splat(0.5f), small, big), x);
}
