// comment
union Word { u32 whole; f32 real; }
/* block */ typedef DWORD u32;
struct S { DWORD a; Word w; };
