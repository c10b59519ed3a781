#define X(a) a a
X(X(float)) f = 1;
technique { pass { } }
