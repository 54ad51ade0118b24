/* Unit quaternions (xyz vector part, w scalar part) and dual quaternions,
   which is how the engine stores every object and joint transform. */

highp vec3 quatRotate(highp vec4 q, highp vec3 v) {
    return v + 2.0*cross(q.xyz, cross(q.xyz, v) + q.w*v);
}

highp vec4 quatMultiply(highp vec4 a, highp vec4 b) {
    return vec4(a.w*b.xyz + b.w*a.xyz + cross(a.xyz, b.xyz), a.w*b.w - dot(a.xyz, b.xyz));
}

highp vec4 quatConjugate(highp vec4 q) {
    return vec4(-q.xyz, q.w);
}

/* Translation encoded in a dual quaternion (real part r, dual part d) */
highp vec3 dualQuatTranslation(highp vec4 r, highp vec4 d) {
    return 2.0*quatMultiply(d, quatConjugate(r)).xyz;
}

highp vec3 dualQuatTransformPoint(highp vec4 r, highp vec4 d, highp vec3 p) {
    return quatRotate(r, p) + dualQuatTranslation(r, d);
}

highp mat3 quatToMatrix(highp vec4 q) {
    highp vec3 q2 = q.xyz*2.0;
    highp vec3 qq = q.xyz*q2;
    highp float xy = q.x*q2.y, xz = q.x*q2.z, yz = q.y*q2.z;
    highp float wx = q.w*q2.x, wy = q.w*q2.y, wz = q.w*q2.z;
    return mat3(
        1.0 - qq.y - qq.z, xy + wz, xz - wy,
        xy - wz, 1.0 - qq.x - qq.z, yz + wx,
        xz + wy, yz - wx, 1.0 - qq.x - qq.y);
}
