#version 430
// Cheap stand-in with the real interface, for tests of the hosts.
uniform sampler2D m;
layout(location = 1) uniform ivec2 v;
out vec4 f;

void main()
{
    f = vec4(0.0);
    vec2 uv = gl_FragCoord.xy / vec2(1920.0, 1080.0);
    if (v.y == 1)
        f.rgb = vec3(uv.x, uv.y, float(v.x) / 127.0);   // mean over a cycle: blue 0.5
    if (v.y == 2)
        f.rgb = texture(m, uv).rgb;
}
