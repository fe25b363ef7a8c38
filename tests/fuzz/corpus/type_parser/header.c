enum Kind : u8 { Data, Code, Exec }
struct Pos { i16 x; i16 y; }
struct Header { u32 magic; Kind kind; Pos pos; }
