#version 430
// A sample pass whose work grows across the picture, for the cost map: every
// 32 columns from the left edge take 16 more rounds of the loop (1, 17, 33,
// 49), in rows 32 to 63 from the top only; all other rows take 1 round.
uniform sampler2D m;
layout(location = 1) uniform ivec2 v;
out vec4 f;

void main()
{
    vec2 uv = gl_FragCoord.xy / vec2(1920.0, 1080.0);
    if (v.y == 2) {
        f = texture(m, uv);
        return;
    }
    int column = min(int(gl_FragCoord.x) / 32, 3);
    bool band = gl_FragCoord.y >= 1016.0 && gl_FragCoord.y < 1048.0;
    int rounds = band ? 1 + 16 * column : 1;
    float h = uv.x + uv.y + float(v.x);
    for (int i = 0; i < rounds * 64; ++i) h = fract(sin(h * 12.9898 + float(i)) * 43758.5453);
    f = vec4(h, uv, 1.0);
}
