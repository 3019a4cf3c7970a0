#pragma once
// The pointer shapes over a picture: drawing (a thin cross-hair with an open centre and a centre
// dot), move (a cross with four arrow heads) and pen (a pencil, hot spot at its tip).

#include <QCursor>

enum class ViewCursorKind { Draw, Move, Pen };

const QCursor& ViewCursor(ViewCursorKind kind);
// The cursor for a document tool over a still picture: tools 1 to 8 draw, 9 moves, others arrow.
QCursor CursorForTool(int tool);
