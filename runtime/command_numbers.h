// Every command number the player dispatches, one a line: operands, then the effect.
// Families append their own block; the keyword table must agree with these numbers.
#pragma once

enum CommandNumber : int {
  // --- Runtime core: control flow, subroutines, user functions, DATA (runtime/control_flow.cpp)
  kEndOfProgram = 0,          // (none): the closing word; no handler, the run ends without an error
  kJumpIfZero = 1,            // slot condition, code target: jump when the condition is 0
  kJump = 2,                  // code target: jump
  kJumpAlias5 = 5,            // code target: jump
  kJumpAlias6 = 6,            // code target: jump
  kForStep = 7,               // slot counter, slot limit, slot step, code exit: counter += step, leave past the limit
  kJumpSecond = 8,            // word (unused), code target: jump
  kJumpIfZeroAlias9 = 9,      // slot condition, code target: jump when the condition is 0
  kJumpAlias10 = 10,          // code target: jump
  kJumpIfZeroAlias12 = 12,    // slot condition, code target: jump when the condition is 0
  kCallFunction = 21,         // code entry, slot result, slot count, count argument slots: call a FUNCTION
  kReturnNothing = 22,        // slot, slot, slot (unused): return from a FUNCTION, result 0
  kReturnInt = 23,            // slot value: return an integer
  kReturnFloat = 24,          // slot value: return a float
  kReturnText = 25,           // slot value: return a text
  kEnd = 26,                  // (none): END
  kReturnNothingAlias27 = 27, // slot, slot, slot (unused): as 22
  kReturnIntAlias28 = 28,     // slot value: as 23
  kReturnFloatAlias29 = 29,   // slot value: as 24
  kReturnTextAlias30 = 30,    // slot value: as 25
  kRestoreAt = 31,            // number position: next READ reads that DATA item
  kRestore = 32,              // (none): next READ reads the first DATA item
  kReadInt = 33,              // slot target: READ an integer
  kReadFloat = 34,            // slot target: READ a float
  kReadText = 35,             // slot target: READ a text
  kGosub = 41,                // code target: push the return address, jump (108 when full)
  kJumpAlias42 = 42,          // code target: jump
  kReturn = 43,               // (none): pop and jump; nothing when empty
  kBlockJump = 106,           // code target: jump written by a block word (ELSE, EXIT, LOOP, NEXT, ENDWHILE, ENDCASE)

  // --- Runtime core: operators and assignment (runtime/operators.cpp); dest, left, right
  kPowerII = 51,              // i dest, i, i: power, truncated to an integer
  kPowerFF = 52,              // f dest, f, f: power
  kPowerIF = 53,              // f dest, i, f: power
  kPowerFI = 54,              // f dest, f, i: power
  kDivideII = 61,             // i dest, i, i: quotient toward zero; /0 gives 0 and warning 111
  kDivideIF = 64,             // f dest, i, f: quotient; /0 gives 0 and warning 111
  kDivideFI = 65,             // f dest, f, i: quotient; /0 gives 0 and warning 111
  kDivideFF = 66,             // f dest, f, f: quotient; /0 gives 0 and warning 111
  kMultiplyII = 71,           // i dest, i, i: product modulo 2^32
  kMultiplyIF = 74,           // f dest, i, f: product
  kMultiplyFI = 75,           // f dest, f, i: product
  kMultiplyFF = 76,           // f dest, f, f: product
  kAddII = 81,                // i dest, i, i: sum modulo 2^32
  kAddIF = 84,                // f dest, i, f: sum
  kAddFI = 85,                // f dest, f, i: sum
  kAddFF = 86,                // f dest, f, f: sum
  kJoinText = 87,             // s dest, s, s: left then right; over 255 characters error 107
  kSubtractII = 91,           // i dest, i, i: difference modulo 2^32
  kSubtractIF = 94,           // f dest, i, f: difference
  kSubtractFI = 95,           // f dest, f, i: difference
  kSubtractFF = 96,           // f dest, f, f: difference
  kRemoveText = 97,           // s dest, s, s: left without the first occurrence of right
  kEqualII = 101,             // i dest, i, i: 1 when equal
  kEqualFF = 102,             // i dest, f, f: 1 when equal
  kTextEqual = 103,           // i dest, s, s: 1 when the texts are equal
  kGreaterII = 111,           // i dest, i, i: 1 when left > right
  kGreaterFF = 112,           // i dest, f, f: 1 when left > right
  kGreaterOrEqualII = 113,    // i dest, i, i: 1 when left >= right
  kGreaterOrEqualFF = 114,    // i dest, f, f: 1 when left >= right
  kLessII = 115,              // i dest, i, i: 1 when left < right
  kLessFF = 116,              // i dest, f, f: 1 when left < right
  kLessOrEqualII = 117,       // i dest, i, i: 1 when left <= right
  kLessOrEqualFF = 118,       // i dest, f, f: 1 when left <= right
  kNotEqualII = 119,          // i dest, i, i: 1 when different
  kNotEqualFF = 120,          // i dest, f, f: 1 when different
  kTextNotEqual = 121,        // i dest, s, s: 1 when the texts differ
  kBitAnd = 123,              // i dest, i, i: bitwise AND
  kBitOr = 124,               // i dest, i, i: bitwise OR
  kEqualIF = 131,             // i dest, i, f: 1 when equal
  kEqualFI = 132,             // i dest, f, i: 1 when equal
  kGreaterIF = 133,           // i dest, i, f: 1 when left > right
  kGreaterFI = 134,           // i dest, f, i: 1 when left > right
  kGreaterOrEqualIF = 135,    // i dest, i, f: 1 when left >= right
  kGreaterOrEqualFI = 136,    // i dest, f, i: 1 when left >= right
  kLessIF = 137,              // i dest, i, f: 1 when left < right
  kLessFI = 138,              // i dest, f, i: 1 when left < right
  kLessOrEqualIF = 139,       // i dest, i, f: 1 when left <= right
  kLessOrEqualFI = 140,       // i dest, f, i: 1 when left <= right
  kNotEqualIF = 141,          // i dest, i, f: 1 when different
  kNotEqualFI = 142,          // i dest, f, i: 1 when different
  kTextGreater = 143,         // i dest, s, s: 1 when left sorts after right
  kTextLess = 144,            // i dest, s, s: 1 when left sorts before right
  kAssignInt = 151,           // i dest, i source: copy
  kAssignFloat = 152,         // f dest, f source: copy bit for bit
  kAssignText = 153,          // s dest, s source: fresh copy of the text
  kFloatToInt = 154,          // i dest, f source: truncate toward zero, low 32 bits
  kIntToFloat = 155,          // f dest, i source: nearest float

  // --- Runtime core: refresh modes and frame rate (runtime/refresh_commands.cpp)
  kRefresh = 259,             // (none): end the slice (shows a frame in manual mode)
  kManualRefreshMode = 403,   // (none): manual refresh mode, end the slice
  kAutoRefreshMode = 404,     // (none): automatic refresh mode, end the slice
  kFrameRate = 407,           // i rate: frame wait 1000/rate ms (0 = no wait); outside 0-1000 error 112

  // --- Core built-ins: print and input (runtime/builtins_print.cpp)
  kPrintInt = 341,            // i value: print the number, the line stays open
  kPrintFloat = 342,          // f value: print the number, the line stays open
  kPrintText = 343,           // s value: print the text, the line stays open
  kPrintLineEnd = 344,        // (none): end the printed line
  kPrintNextZone = 345,       // (none): PRINT's ",": blanks up to the next print zone of the line
  kInputInt = 351,            // s prompt, i target: read a typed line as an integer
  kInputFloat = 352,          // s prompt, f target: read a typed line as a float
  kInputText = 355,           // s prompt, s target: read a typed line
  kInkey = 356,               // s result: the last character typed, "" when none; reading it clears it
  kWaitKey = 357,             // (none): wait until a key is pressed, the picture held

  // --- Core built-ins: timer, mouse, randomness, maths (runtime/builtins_maths.cpp)
  kTimer = 361,               // i result: milliseconds since an arbitrary start
  kWait = 362,                // i ms: wait that long, the picture held
  kMouseX = 363,              // i result: mouse x
  kMouseY = 364,              // i result: mouse y
  kMouseClick = 365,          // i result: buttons held (bit 0 left, 1 right, 2 middle, 3 fourth)
  kCommandLine = 366,         // s result: the command line
  kRandomize = 367,           // i seed: restart the random sequence
  kRandom = 368,              // i result, i n: random integer 0..n
  kAbsInt = 371,              // i result, i: absolute value
  kAbsFloat = 372,            // f result, f: absolute value
  kIntPart = 373,             // i result, f: largest integer not above
  kSqrt = 374,                // f result, f: square root
  kSin = 375,                 // f result, f degrees
  kCos = 376,                 // f result, f degrees
  kTan = 377,                 // f result, f degrees
  kAsin = 378,                // f result degrees, f
  kAcos = 379,                // f result degrees, f
  kAtan = 380,                // f result degrees, f
  kAtanFull = 381,            // f result degrees, f x, f y: angle of the vector
  kExp = 382,                 // f result, f: e to the power
  kLog = 383,                 // f result, f: natural logarithm
  kRgb = 440,                 // i result, i red, i green, i blue: 0xRRGGBB (each part 0..255 by its low byte)
  kRgbRed = 441,              // i result, i colour: its red part 0..255
  kRgbGreen = 442,            // i result, i colour: its green part 0..255
  kRgbBlue = 443,             // i result, i colour: its blue part 0..255
  kModulo = 384,              // i dest, i, i: remainder (sign of the left); by 0 gives 0 and warning 111

  // --- Core built-ins: strings (runtime/builtins_text.cpp)
  kTextLength = 420,          // i result, s: length
  kTextLeft = 421,            // s result, s, i n: first n characters
  kTextRight = 422,           // s result, s, i n: last n characters
  kTextMiddle = 423,          // s result, s, i pos: the character at pos (from 1)
  kTextOfInt = 424,           // s result, i: the number as text
  kTextOfFloat = 425,         // s result, f: the number as text
  kTextValue = 426,           // f result, s: the number the text starts with (0 when none)
  kTextOfCode = 427,          // s result, i code: one character
  kCodeOfText = 428,          // i result, s: code of the first character (0 when empty)
  kTextUpper = 429,           // s result, s: capitals
  kTextLower = 430,           // s result, s: small letters
  kTextBinary = 431,          // s result, i: 32 binary digits
  kTextHex = 432,             // s result, i: hexadecimal digits
  kTextSpaces = 436,          // s result, i n: n blanks
  kTextMiddleRun = 437,       // s result, s, i pos, i count: count characters from pos
  kTextFind = 438,            // i result, s text, s sought: first position of sought (from 1), 0 when absent
  kTextFindFrom = 439,        // i result, s text, s sought, i start: the same from position start

  // --- Core built-ins: arrays (runtime/builtins_arrays.cpp); sizes give 0..size per dimension
  kDimArray1 = 501,           // array, i size1: make the array (2-5 dimensions: 502-505)
  kDimArray2 = 502,
  kDimArray3 = 503,
  kDimArray4 = 504,
  kDimArray5 = 505,
  kUndimArray = 506,          // array: free it
  kArrayElement1 = 511,       // temp, array, i index1: copy the element, keep its address (512-515)
  kArrayElement2 = 512,
  kArrayElement3 = 513,
  kArrayElement4 = 514,
  kArrayElement5 = 515,
  kStoreElementInt = 521,     // i temp, i value: store through the temp's element address
  kStoreElementFloat = 522,   // f temp, f value: the same for floats
  kStoreElementText = 523,    // s temp, s value: the same for texts
  // --- 2D drawing and images (graphics2d/draw_commands.cpp, images.cpp)
  kDrawBox = 208,             // i x1, i y1, i x2, i y2: fill the box with the ink (queued)
  kDrawCircle = 210,          // i x, i y, i radius: circle outline (queued)
  kDrawCls = 212,             // (none): clear the drawing bitmap with the paper colour (queued)
  kDrawDot = 215,             // i x, i y: one ink pixel (queued)
  kDrawEllipse = 216,         // i x, i y, i radius x, i radius y: ellipse outline (queued)
  kImageGet = 219,            // i image, i x1, i y1, i x2, i y2: grab from the drawing bitmap (queued)
  kImageLoad = 221,           // s file, i image: load a file into the image (queued)
  kDrawInk = 227,             // i foreground, i background: colours 0xRRGGBB (queued)
  kImageGetFlagged = 230,     // i image, i x1, i y1, i x2, i y2, i flag: as 219, the flag kept for textures
  kDrawLine = 235,            // i x1, i y1, i x2, i y2: ink line (queued)
  kImagePaste = 242,          // i image, i x, i y: paste, transparent colour drawn (queued)
  kDrawPlot = 243,            // i x, i y, i colour: one pixel of that colour, ink unchanged (queued)
  kImagePasteFlagged = 433,   // i image, i x, i y, i flag: flag 1 = transparent colour keyed out (queued)
  kImageFade = 434,           // i image, i percent: fade the image to percent of its brightness (queued)
  kImageDelete = 246,         // i image: free the image (queued; released a few frames later)
  kMouseHide = 247,           // (none): hide the mouse pointer
  kMouseShow = 248,           // (none): show the mouse pointer
  kDrawPoint = 444,           // i result, i x, i y: 0xRRGGBB of that pixel of the drawing bitmap, 0 outside
  kDrawClsColour = 405,       // i colour: paper := colour, then clear (queued)

  // --- Bitmaps 0-31, 0 the screen (graphics2d/bitmaps.cpp); all queued
  kBitmapLoad = 1001,         // s file, i n: load a file into bitmap n; it becomes the drawing bitmap
  kBitmapLoadScreen = 1002,   // s file: load a file onto the screen
  kBitmapSave = 1004,         // s file, i n: save bitmap n by the file's extension
  kBitmapCreate = 1005,       // i n, i width, i height: make bitmap n; it becomes the drawing bitmap
  kBitmapSetCurrent = 1006,   // i n: drawing commands draw on bitmap n
  kBitmapCopy = 1007,         // i source, i destination: copy a whole bitmap
  kBitmapCopyArea = 1008,     // i source, 4 i rect, i destination, 4 i rect: stretched copy
  kBitmapDelete = 1009,       // i n: free bitmap n; drawing falls back to the screen
  kBitmapMirror = 1010,       // i n: mirror left to right
  kBitmapFlip = 1011,         // i n: flip top to bottom
  kBitmapBlur = 1012,         // i n, i passes 1-8: box blur
  kBitmapFade = 1013,         // i n, i percent 0-100: fade to percent of the brightness

  // --- Display modes and the screen (graphics2d/display_modes.cpp); queries write operand 0
  kDisplaySetMode = 1501,     // i width, i height, i depth 16/32: re-open the display in that mode (warning 1503)
  kDisplayModeExists = 1502,  // i result, i width, i height, i depth: 1 when the display can take the mode
  kDisplaySaveScreen = 1510,  // s file: the screen is saved to the file after the next frame, by its extension
  kDisplayChecklistModes = 1520,  // fill the checklist: one entry per mode, a width, b height, c depth, text "WxHxD"
  kScreenWidth = 1551,        // i result: the screen's width
  kScreenHeight = 1552,       // i result: the screen's height
  kScreenDepth = 1553,        // i result: the screen's depth (16 or 32)
  kScreenFps = 1555,          // i result: frames presented per second (0 in the first second)
  kScreenInvalid = 1556,      // i result: 1 once after each mode change, then 0

  // --- Sprites 1-65535 (graphics2d/sprites.cpp); queries write operand 0
  kSprite = 5500,             // i n, i x, i y, i image: place a sprite
  kSpriteSwitches = 5501,     // i n, i keep background 0/1, i colour key 0/1
  kSpriteSize = 5502,         // i n, i width, i height: scale to that size
  kSpriteScale = 5503,        // i n, i percent: both scales
  kSpriteStretch = 5504,      // i n, i percent x, i percent y
  kSpriteOffset = 5511,       // i n, i x, i y: hot spot
  kSpriteMirror = 5512,       // i n: toggle mirroring
  kSpriteFlip = 5513,         // i n: toggle flipping
  kSpriteDelete = 5514,       // i n: delete the sprite
  kSpritePaste = 5515,        // i n, i x, i y: paste the sprite's image once (queued)
  kSpriteHide = 5516,         // i n
  kSpriteShow = 5517,         // i n
  kSpriteHideAll = 5518,      // (none)
  kSpriteShowAll = 5519,      // (none)
  kSpriteExist = 5520,        // i result, i n
  kSpriteX = 5521,            // i result, i n
  kSpriteY = 5522,            // i result, i n
  kSpriteOffsetX = 5523,      // i result, i n
  kSpriteOffsetY = 5524,      // i result, i n
  kSpriteWidth = 5525,        // i result, i n
  kSpriteHeight = 5526,       // i result, i n
  kSpriteImage = 5527,        // i result, i n
  kSpriteScaleX = 5529,       // i result, i n
  kSpriteScaleY = 5530,       // i result, i n
  kSpriteMirrored = 5533,     // i result, i n
  kSpriteFlipped = 5534,      // i result, i n
  kSpriteCollision = 5541,    // i result, i n, i m: a hit, reported once while it lasts
  kSpriteOverlap = 5542,      // i result, i n, i m: overlap now (m outside 1-65535: any sprite)

  // --- Text and fonts (graphics2d/text_commands.cpp); all queued
  kTextSetCursor = 6001,      // i x, i y: the print cursor
  kTextFont = 6002,           // s name: font by name (unknown names fall back)
  kTextSize = 6003,           // i size: font size in pixels
  kTextOpaque = 6004,         // (none): text on a paper-coloured background
  kTextTransparent = 6005,    // (none): text without background
  kTextNormal = 6006,         // (none): style normal
  kTextBold = 6007,           // (none): style bold
  kTextItalic = 6008,         // (none): style italic
  kTextBoldItalic = 6009,     // (none): style bold italic
  kTextAt = 6010,             // i x, i y, s text: draw text at x, y
  kTextCentred = 6011,        // i x, i y, s text: draw text centred on x

  // --- 3D engine: objects (engine3d/objects.cpp, engine3d/object_commands.cpp)
  kLoadObject = 7000,         // s file, i object: load a .x or .3ds file into the object
  kMakeObject = 7008,         // i object, i mesh, i image: object from a mesh with the image's texture
  kDeleteObject = 7009,       // i object: release the object
  kChecklistObjectLimbs = 7003,  // i object: the checklist gets its limbs (a number, text frame name)
  kTextureObject = 7012,      // i object, i image: every mesh of the object takes the image's texture
  kPositionObject = 7013,     // i object, f x, f y, f z: place the object
  kRotateObject = 7014,       // i object, f x, f y, f z: angles in degrees
  kScaleObject = 7015,        // i object, f x, f y, f z: percent per axis
  kMoveObject = 7021,         // i object, f distance: along the direction the object faces
  kHideObject = 7023,         // i object: not drawn
  kShowObject = 7024,         // i object: drawn again
  kColorObject = 7025,        // i object, i rgb: every mesh takes a solid colour texture
  kGhostObjectOn = 7026,      // i object, i mode: drawn blended (mode 1 the darker pair)
  kGhostObjectOff = 7027,     // i object: drawn solid again
  kXRotateObject = 7028,      // i object, f angle: x angle in degrees
  kYRotateObject = 7029,      // i object, f angle: y angle in degrees
  kZRotateObject = 7030,      // i object, f angle: z angle in degrees
  kPointObject = 7031,        // i object, f x, f y, f z: turn the object to face the point
  kSetObjectWireframe = 7032, // i object, i flag: 1 draws the edges only
  kSetObjectCull = 7033,      // i object, i flag: 1 hides back faces
  kTurnObjectLeft = 7036,     // i object, f angle: y angle minus the angle
  kTurnObjectRight = 7037,    // i object, f angle: y angle plus the angle
  kSetObjectFilter = 7039,    // i object, i flag: 1 filters textures, 0 point samples
  kSetObjectLight = 7040,     // i object, i flag: 1 lit with the ambient share, 0 unlit
  kMakeObjectBox = 7041,      // i object, f x, f y, f z: box of the three sizes
  kMakeObjectSphere = 7042,   // i object, f size: built-in sphere
  kMakeObjectCube = 7043,     // i object, f size: built-in cube
  kMakeObjectCone = 7044,     // i object, f size: built-in cone
  kMakeObjectCylinder = 7045, // i object, f size: built-in cylinder
  kMakeObjectPlain = 7046,    // i object, f width, f height: built-in plain (two-sided)
  kMakeObjectTriangle = 7047, // i object, f x1..z3: one two-sided triangle
  kSetObjectTransparency = 7048,  // i object, i flag: 1 lets the textures' transparent colour through
  kLockObjectOn = 7049,       // i object: drawn at a fixed place on the screen
  kLockObjectOff = 7050,      // i object: drawn in the world again
  kSetObjectDrawLast = 7061,  // i object, i flag: 1 draws after a depth clear, over the scene
  kSetObjectFullBright = 7062, // i object, i flag: 1 ignores the lights
  kSetObjectCollisionToSpheres = 7063,  // i object: its collision shapes are rebuilt as spheres
  kSetObjectFog = 7017,       // i object, i flag: 1 takes part in the fog
  kSetObjectCollisionOn = 7071,   // i object: the object takes part in the collision pass again
  kSetObjectCollisionOff = 7092,  // i object: its collision shapes go; it is never hit
  kSetObjectCollisionToBoxes = 7064,  // i object: each mesh collides as a box about its centre
  kSetObjectCollisionToPolygons = 7067,  // i object: each mesh collides with its own triangles
  kGlueObjectToLimb = 7094,   // i object, i other, i limb: drawn relative to the other object's limb (7010)
  kUnglueObject = 7096,       // i object: drawn in the world again
  kDuplicateObject = 7264,    // i source, i object: a copy sharing the source's model

  // --- 3D engine: free rotation and orientation (engine3d/object_rotation.cpp)
  kPitchObjectUp = 7251,      // i object, f angle: turn about its own x axis, nose up
  kPitchObjectDown = 7252,    // i object, f angle: nose down
  kRollObjectLeft = 7253,     // i object, f angle: turn about its own z axis to the left
  kRollObjectRight = 7254,    // i object, f angle: to the right
  kYawObjectLeft = 7255,      // i object, f angle: turn about its own y axis to the left
  kYawObjectRight = 7256,     // i object, f angle: to the right
  kSetObjectRotationXyz = 7257,  // i object: its angles turn x first, then y, then z
  kSetObjectRotationZyx = 7258,  // i object: z first, then y, then x (the default)
  kSetObjectToObjectOrientation = 7617,  // i object, i other: the object takes the other's orientation
  kFixObjectPivot = 7618,     // i object: its present turn becomes its model's own; angles back to 0

  // --- 3D engine: limbs (engine3d/limb_commands.cpp); limb 0 is the object's own frame
  kAddLimb = 7018,            // i object, i limb, i mesh: a new limb 1..65535 holding the mesh (7010, 7011, 7001, 7003, 7013)
  kAddLimbTextured = 7923,    // i object, i limb, i mesh, i image: the same with the image's texture (501, 502)
  kLinkLimb = 7016,           // i object, i limb, i parent: the limb moves with the parent limb (7019, 7012)
  kHideLimb = 7019,           // i object, i limb: not drawn, no collision (7019)
  kShowLimb = 7020,           // i object, i limb: drawn and colliding again
  kOffsetLimb = 7022,         // i object, i limb, f x, f y, f z: place relative to its parent limb
  kRotateLimb = 7108,         // i object, i limb, f x, f y, f z: angles in degrees
  kScaleLimb = 7612,          // i object, i limb, f x, f y, f z: percent per axis
  kXRotateLimb = 7613,        // i object, i limb, f angle: x angle alone
  kYRotateLimb = 7616,        // i object, i limb, f angle: y angle alone
  kZRotateLimb = 7921,        // i object, i limb, f angle: z angle alone
  kTextureLimb = 7035,        // i object, i limb, i image: the limb's mesh takes the image's texture (501, 502)
  kColorLimb = 7038,          // i object, i limb, i rgb: a plain colour texture
  kCopyLimbTexture = 7131,    // i object, i limb, i from object, i from limb: the same texture as that limb
  kSaveLimbTexture = 7137,    // s file, i object, i limb: the limb's texture as a picture file (7014)
  kScrollLimbTexture = 7201,  // i object, i limb, f u, f v: moves the texture over the mesh
  kScrollObjectTexture = 7202,  // i object, f u, f v: the same for every limb
  kScaleLimbTexture = 7203,   // i object, i limb, f u, f v: texture coordinates multiplied
  kScaleObjectTexture = 7204, // i object, f u, f v: the same for every limb
  kChangeMesh = 7925,         // i object, i limb, i mesh: the limb's mesh becomes a copy of the mesh (7001, 7003)
  kScaleObjectNormals = 7034, // i object, i percent: normals lengthened for lighting without renormalising
  kSetLimbCollision = 7074,   // i object, i limb, i flag: 0 the limb never collides, 1 it does again
  kLimbExist = 7518,          // i result, i object, i limb: 1 when the object has the limb
  kLimbPositionX = 7519,      // f result, i object, i limb: x in the world
  kLimbPositionY = 7520,      // f result, i object, i limb: y in the world
  kLimbPositionZ = 7521,      // f result, i object, i limb: z in the world
  kLimbAngleX = 7522,         // f result, i object, i limb: x angle in the world, degrees
  kLimbAngleY = 7523,         // f result, i object, i limb: y angle in the world
  kLimbAngleZ = 7524,         // f result, i object, i limb: z angle in the world
  kLimbOffsetX = 7525,        // f result, i object, i limb: x relative to its parent limb
  kLimbOffsetY = 7526,        // f result, i object, i limb: y relative to its parent limb
  kLimbOffsetZ = 7527,        // f result, i object, i limb: z relative to its parent limb
  kLimbName = 7528,           // s result, i object, i limb: the name of its frame in the model
  kLimbTexture = 7075,        // i result, i object, i limb: the image it shows, 0 none
  kLimbTextureName = 7540,    // s result, i object, i limb: the texture's name in the model

  // --- 3D engine: camera (engine3d/camera.cpp)
  kPositionCamera = 7051,     // f x, f y, f z: move the camera; the target keeps its offset
  kPointCamera = 7052,        // f x, f y, f z: look at the point
  kRotateCamera = 7053,       // f x, f y, f z: angles in degrees, wrapped into 0 to below 360
  kMoveCamera = 7054,         // f distance: along the view direction
  kXRotateCamera = 7055,      // f angle: x angle alone, wrapped
  kYRotateCamera = 7056,      // f angle: y angle alone, wrapped
  kZRotateCamera = 7057,      // f angle: z angle alone, wrapped
  kTurnCameraRight = 7058,    // f angle: turn about the camera's y axis by +angle
  kTurnCameraLeft = 7059,     // f angle: turn about the camera's y axis by -angle
  kPitchCameraDown = 7060,    // f angle: turn about the camera's x axis by +angle
  kPitchCameraUp = 7065,      // f angle: turn about the camera's x axis by -angle
  kRollCameraRight = 7066,    // f angle: turn about the camera's z axis by -angle
  kRollCameraLeft = 7068,     // f angle: turn about the camera's z axis by +angle
  kSetCameraToObjectOrientation = 7069,  // i object: the camera takes the object's angles
  kSetCameraRange = 7081,     // f near, f far: far > 0 (110), 1 <= near < far (7912)
  kCameraOrderZyx = 7082,     // (none): z angle first
  kCameraOrderXyz = 7083,     // (none): x angle first
  kAutoCameraOn = 7084,       // (none): new objects place the camera
  kAutoCameraOff = 7085,      // (none): they do not
  kClearCameraView = 7087,    // i rgb: queue a clear of the screen in that colour
  kSetCameraView = 7086,      // i x1, i y1, i x2, i y2: the 3D viewport (1010)
  kOcclusionOff = 7099,       // (none): the static world draws its meshes without occlusion culling
  kOcclusionOn = 7100,        // (none): occlusion culling of the static world (the default)
  kSetCameraFov = 7109,       // f fov: field of view in radians, > 0 (110)
  kCameraPositionX = 7541,    // f result: camera x
  kCameraPositionY = 7542,    // f result: camera y
  kCameraPositionZ = 7543,    // f result: camera z
  kCameraAngleX = 7544,       // f result: camera x angle in degrees
  kCameraAngleY = 7545,       // f result: camera y angle in degrees
  kCameraAngleZ = 7546,       // f result: camera z angle in degrees

  // --- 3D engine: fog, ambient light, backdrop (engine3d/scene.cpp)
  kFogOn = 7072,              // (none): fog on
  kFogOff = 7073,             // (none): fog off
  kFogColor = 7076,           // i rgb: fog colour
  kFogDistance = 7077,        // f distance: where the fog is whole
  kSetAmbientLight = 7078,    // i percent: the lit material's ambient share (0-100)
  kColorAmbientLight = 7079,  // i rgb: colour of the ambient light
  kBackdropOn = 7080,         // (none): the screen is cleared with the backdrop colour each frame
  kBackdropOff = 7090,        // (none): no backdrop clear
  kColorBackdrop = 7093,      // i rgb: backdrop colour
  kSetBackdropObject = 7101,  // i object: drawn behind the scene with the start-up view; 0 none (7006, 7008)
  kSetRenderStage = 7102,     // i stage: 0 the 3D scene under the frame's 2D drawing, 1 over it (110)

  // --- 3D engine: object values (engine3d/object_commands.cpp); result, object
  kObjectExist = 7501,        // i result, i object: 1 when the object exists (7006)
  kObjectPositionX = 7502,    // f result, i object: x (7006, 7008)
  kObjectPositionY = 7503,    // f result, i object: y
  kObjectPositionZ = 7504,    // f result, i object: z
  kObjectAngleX = 7505,       // f result, i object: x angle in degrees
  kObjectAngleY = 7506,       // f result, i object: y angle
  kObjectAngleZ = 7507,       // f result, i object: z angle
  kObjectSizeX = 7508,        // f result, i object: scaled width
  kObjectSizeY = 7509,        // f result, i object: scaled height
  kObjectSizeZ = 7510,        // f result, i object: scaled depth
  kObjectVisible = 7511,      // i result, i object: 1 when shown
  kObjectScreenX = 7512,      // i result, i object: screen x of the centre
  kObjectScreenY = 7513,      // i result, i object: screen y of the centre
  kObjectInScreen = 7514,     // i result, i object: 1 when the visibility test passes
  kObjectHit = 7515,          // i result, i object: number of the object it hit in the last collision pass, 0 none
  kObjectCollision = 7516,    // i result, i object, i other: 1 when the two collided in the last pass (other 0: any)
  kStatistic = 7675,          // i result, i which: 1 = triangles drawn in the last frame, else 0

  // --- 3D engine: lights (engine3d/lights.cpp)
  kMakeLight = 7301,          // i light: a point light at the origin (7301, 7302, 7304)
  kDeleteLight = 7302,        // i light: light 0 cannot go (7305)
  kSetPointLight = 7303,      // i light, f x, f y, f z: point light at the place
  kSetSpotLight = 7304,       // i light, f inner, f outer: spot cone in degrees
  kSetDirectionalLight = 7305,  // i light, f x, f y, f z: directional along the vector
  kPositionLight = 7306,      // i light, f x, f y, f z: point and spot lights only
  kRotateLight = 7307,        // i light, f x, f y, f z: spot and directional lights only
  kPointLight = 7309,         // i light, f x, f y, f z: direction towards the point
  kColorLightRgb = 7310,      // i light, i rgb: colour
  kHideLight = 7311,          // i light: off
  kShowLight = 7312,          // i light: on
  kPositionLightAtObject = 7313,  // i light, i object: at the object's place
  kSetLightToObjectOrientation = 7314,  // i light, i object: the object's direction
  kColorLight = 7315,         // i light, i r, i g, i b: colour, 255 = full, unclamped
  kNormalizeNormalsOn = 7316, // (none): normals renormalised
  kNormalizeNormalsOff = 7317,  // (none): not
  kSetLightRange = 7318,      // i light, f range: reach
  kLightExist = 7701,         // i result, i light: 1 when the light exists
  kLightType = 7702,          // i result, i light: 1 point, 2 spot, 3 directional
  kLightPositionX = 7703,     // f result, i light: x
  kLightPositionY = 7704,     // f result, i light: y
  kLightPositionZ = 7705,     // f result, i light: z
  kLightDirectionX = 7706,    // f result, i light: direction x
  kLightDirectionY = 7707,    // f result, i light: direction y
  kLightDirectionZ = 7708,    // f result, i light: direction z
  kLightVisible = 7709,       // i result, i light: 1 when shown
  kLightRange = 7710,         // f result, i light: range

  // --- 3D engine: keyframe animation (engine3d/animation.cpp)
  kSaveObjectAnimation = 7259,  // s file, i object: write the animation as .x
  kAppendObjectAnimation = 7260,  // s file, s second file, i object, i offset: append their joined animation
  kClearObjectAnimation = 7261, // i object: drop every key
  kDeleteObjectKeyframe = 7262, // i object, i frame: drop the keys at the frame
  kSetObjectKeyframe = 7263,  // i object, i frame: key the limbs' poses at the frame
  kPlayObject = 7601,         // i object: play from frame 0 to the end
  kStopObject = 7602,         // i object: leave the playing list
  kLoopObject = 7603,         // i object: loop from the current frame
  kSetObjectFrame = 7604,     // i object, f frame: jump or blend to the frame (7602)
  kSetObjectSpeed = 7605,     // i object, i speed: -100..100, frames per sync x 25 (7603)
  kLoopObjectRange = 7606,    // i object, i start, i end: loop the range
  kAppendObjectModel = 7607,  // s file, i object, i frame: append a .x animation at the frame
  kPlayObjectFrom = 7608,     // i object, i frame: play from the frame
  kPlayObjectRange = 7609,    // i object, i start, i end: play the range once
  kLoopObjectFrom = 7610,     // i object, i frame: loop from the frame to the end
  kSetObjectInterpolation = 7611,  // i object, i percent: blend step 1..100 (7604)
  kObjectPlaying = 7651,      // i result, i object: 1 while playing
  kObjectLooping = 7652,      // i result, i object: 1 when looping
  kObjectFrame = 7653,        // f result, i object: current frame
  kObjectSpeed = 7654,        // i result, i object: speed x 25
  kObjectInterpolation = 7655,  // i result, i object: blend step in percent
  kTotalObjectFrames = 7656,  // i result, i object: last key frame

  // --- Video animations 1..32 (commands/animation_commands.cpp), played onto the screen or a
  // bitmap and advanced once per frame. 2002 and 2007-2010 are warnings.
  kAnimationLoad = 2001,          // s file, i animation: open a video file (package first) (2001, 2002)
  kAnimationDelete = 2002,        // i animation (2001, 2004)
  kAnimationPlay = 2003,          // i animation: play once from the start on the screen (2001, 2004, 2007)
  kAnimationStop = 2004,          // i animation: stop and close it (2001, 2004, 2008)
  kAnimationPause = 2005,         // i animation (2001, 2004, 2008 when not running, 2009)
  kAnimationResume = 2006,        // i animation (2001, 2004, 2010)
  kAnimationLoop = 2007,          // i animation: play on the screen, restarting at the end (2001, 2004)
  kAnimationPlayAt = 2012,        // i animation, i x, i y: play at its own size (2001, 2004, 2007)
  kAnimationPlayInRect = 2013,    // i animation, i x1, i y1, i x2, i y2: play stretched (2001, 2004, 2007)
  kAnimationPlace = 2014,         // i animation, i x1, i y1, i x2, i y2: set the rectangle (2001, 2004)
  kAnimationPlayToBitmap = 2015,  // i animation, i bitmap, i x1, i y1, i x2, i y2 (2001, 2004, 1001, 1002, 2007)
  kAnimationLoopToBitmap = 2016,  // i animation, i bitmap, i x1, i y1, i x2, i y2 (2001, 2004, 1001, 1002)
  kAnimationExist = 2051,         // i result, i animation (2001)
  kAnimationPlaying = 2052,       // i result, i animation (2001, 2004)
  kAnimationPaused = 2053,        // i result, i animation (2001, 2004)
  kAnimationLooping = 2054,       // i result, i animation (2001, 2004)
  kAnimationPositionX = 2057,     // i result, i animation: left of the shown rectangle (2001, 2004)
  kAnimationPositionY = 2058,     // i result, i animation: top (2001, 2004)
  kAnimationWidth = 2059,         // i result, i animation: width as clipped to its target (2001, 2004)
  kAnimationHeight = 2060,        // i result, i animation: height as clipped (2001, 2004)

  // --- Sounds: numbered sounds 1..1025 over the sound library (commands/sound_commands.cpp).
  // 3002, 3004 and 3201 are warnings; 3002, 3004 and 3008 are raised only while the library runs.
  kSoundLoad = 3001,          // s file, i sound: load a WAV or MP3 (3001, 3002)
  kSoundDelete = 3002,        // i sound: free it (3001, 3004)
  kSoundPlay = 3003,          // i sound: play once (3001, 3004)
  kSoundStop = 3004,          // i sound (3001, 3004)
  kSoundPause = 3005,         // i sound (3001, 3004)
  kSoundResume = 3006,        // i sound (3001, 3004)
  kSoundLoop = 3007,          // i sound: play looping (3001, 3004)
  kSoundSetVolume = 3008,     // i sound, i percent 0..100: library volume p*255/100 (3001, 3004, 3005)
  kSoundSetSpeed = 3009,      // i sound, i hz 100..100000 (3001, 3004, 3006)
  kSoundSetPan = 3010,        // i sound, i pan -10000..10000 (3001, 3004, 3007)
  kSoundLoad3D = 3011,        // s file, i sound: load a sound placed in 3D (3001, 3002)
  kSoundPosition = 3012,      // i sound, f x, f y, f z: place a 3D sound (3001, 3004)
  kSoundListenerPosition = 3013,  // f x, f y, f z: place the listener
  kSoundListenerRotate = 3014,    // f ax, f ay, f az: turn the listener (degrees)
  kSoundListenerScale = 3015,     // f scale: distance scale in hundredths
  kSoundClone = 3021,         // i target, i source: share the source's sample (3001, 3021, 3022, 3023)
  kSoundPlayFrom = 3022,      // i sound, i position: play once (position kept only) (3001, 3004)
  kSoundLoopFrom = 3023,      // i sound, i start: play looping (3001, 3004)
  kSoundLoopRange = 3024,     // i sound, i start, i end: play looping (3001, 3004)
  kSoundLoopRangeFrom = 3025, // i sound, i start, i end, i position: play looping (3001, 3004)
  kSoundLoadWithFlag = 3026,  // s file, i sound, i flag: load with channel priority 1 (3001, 3002)
  kSoundRecord = 3027,        // i sound: record 5 seconds from the input (3001, 3002)
  kSoundStopRecording = 3028, // stop recording; leading silence is trimmed
  kSoundSave = 3029,          // s file, i sound: write a WAV in the sample's format (3001, 3008)
  kSoundRecordFor = 3030,     // i sound, i seconds (3001, 3002)
  kSoundSetEnvironment = 3031,  // i preset 1..26 (0 off)
  kSoundUnsupported3041 = 3041,  // i: not supported (3201)
  kSoundLoadUnsupported3042 = 3042,  // s file, i sound: not supported (3001, 3003, 3201)
  kSoundUnsupported3043 = 3043,  // i, i: not supported (3201)
  kSoundUnsupported3046 = 3046,  // i: not supported (3201)
  kSoundExist = 3051,         // i result, i sound: 1 when loaded and the library runs (3001)
  kSoundPlaying = 3052,       // i result, i sound (3001, 3004)
  kSoundPaused = 3053,        // i result, i sound (3001, 3004)
  kSoundLooping = 3054,       // i result, i sound (3001, 3004)
  kSoundVolume = 3055,        // i result, i sound: 0..100 as last set (3001, 3004)
  kSoundSpeed = 3056,         // i result, i sound: hz as last set (3001, 3004)
  kSoundPan = 3057,           // i result, i sound: as last set (3001, 3004)
  kSoundIs3D = 3058,          // i result, i sound: 1 when loaded as 3D (3001, 3004)
  kSoundPositionX = 3059,     // f result, i sound (3001, 3004)
  kSoundPositionY = 3060,     // f result, i sound (3001, 3004)
  kSoundPositionZ = 3061,     // f result, i sound (3001, 3004)
  kSoundListenerX = 3062,     // f result
  kSoundListenerY = 3063,     // f result
  kSoundListenerZ = 3064,     // f result
  kSoundListenerAngleX = 3065,  // f result
  kSoundListenerAngleY = 3066,  // f result
  kSoundListenerAngleZ = 3067,  // f result
  kSoundPlayPosition = 3068,  // i result, i sound: milliseconds into the sound where it plays, 0 when not (3001, 3004)

  // --- Music slots 1..32: tracker songs (commands/music_commands.cpp). 3502, 3504 and 3507 are warnings.
  kMusicLoad = 3501,          // s file, i music: load a MOD, S3M, XM or IT song (3501, 3502)
  kMusicDelete = 3502,        // i music (3501, 3504)
  kMusicPlay = 3503,          // i music: play once (3501, 3504)
  kMusicStop = 3504,          // i music (3501, 3504)
  kMusicPause = 3505,         // i music (3501, 3504, 3507 when not playing)
  kMusicResume = 3506,        // i music (3501, 3504)
  kMusicLoop = 3507,          // i music: play, restarting when it finishes (3501, 3504)
  kMusicSetVolume = 3508,     // i music, i percent (3501, 3502)
  kMusicSetLevel = 3509,      // i music, i level 0..256 (3501, 3502)
  kMusicExist = 3551,         // i result, i music (3501)
  kMusicPlaying = 3552,       // i result, i music (3501, 3504)
  kMusicPaused = 3553,        // i result, i music (3501, 3504)
  kMusicLooping = 3554,       // i result, i music (3501, 3504)
  kMusicPosition = 3555,      // i result, i music: milliseconds heard since play (3501, 3504)
  kMusicLoadCD = 3601,        // i track, i music: an audio-CD track 1..the disc's count (3501, 3502)

  // --- CD: the drive or image CD tracks come from, and what its disc holds (commands/cd_commands.cpp)
  kCdSetSource = 3602,        // s source: "" the default drive, a device name, or a .cue image
  kCdTrackCount = 3651,       // i result: tracks on the disc, 0 without one
  kCdCurrentTrack = 3652,     // i result: the track playing or last played, 0 before the disc opened
  kCdPosition = 3653,         // i result: milliseconds heard of the current track
  kCdTrackLength = 3654,      // i result, i track: milliseconds; 0 outside the disc

  // --- Input: keyboard, mouse, joystick, control device, force feedback (commands/input_commands.cpp,
  // commands/force_commands.cpp). Queries poll first once per dispatcher cycle. 4001, 4002 and
  // 4101 are warnings (silent in a player run).
  kInputChecklistDevices = 4001,  // fill the checklist: one entry per joystick, text its name, a = 1 with force feedback
  kInputSetControlDevice = 4002,  // s name: the joystick of that name drives the force commands (4001)
  kForceUp = 4101,            // i magnitude 0..100: push the stick up for 100 ms (4101, 4102)
  kForceDown = 4102,          // i magnitude: push it down (as 4101)
  kForceLeft = 4103,          // i magnitude: push it left (as 4101)
  kForceRight = 4104,         // i magnitude: push it right (as 4101)
  kForceAngle = 4105,         // i magnitude, i angle 0..360, i ms (0 forever): push towards the angle (4101, 4102, 4104, 4103)
  kForcePeriodicShort = 4106, // i magnitude, i ms: shake with a 50 ms wave (4101, 4102, 4103)
  kForceConstant = 4107,      // i magnitude, i ms: a steady push (as 4106)
  kForcePeriodicLong = 4108,  // i magnitude, i ms: shake with a 100 ms wave (as 4106)
  kForceStopAll = 4109,       // stop every force effect (4101)
  kForceDamper = 4110,        // i magnitude, i ms: resist movement (as 4106)
  kForceAutoCenterOn = 4112,  // the stick pulls back to the centre (4101)
  kForceAutoCenterOff = 4113, // it does not (4101)
  kKeyUp = 4501,              // i result: 1 while the up cursor key is held
  kKeyDown = 4502,            // i result: down cursor key
  kKeyLeft = 4503,            // i result: left cursor key
  kKeyRight = 4504,           // i result: right cursor key
  kKeyControl = 4505,         // i result: either Ctrl key
  kKeyShift = 4506,           // i result: either Shift key
  kKeyReturn = 4507,          // i result: Return
  kKeySpace = 4508,           // i result: space bar
  kKeyState = 4509,           // i result, i scan code: 1 while that key is held (0 outside 0..255)
  kKeyEscape = 4510,          // i result: Esc
  kMouseWheel = 4511,         // i result: the wheel position 0..99 (start 50, one notch moves it 1)
  kMouseMoveX = 4512,         // i result: x movement since the last read, then cleared
  kMouseMoveY = 4513,         // i result: y movement since the last read, then cleared
  kMouseMoveZ = 4514,         // i result: wheel notches since the last read, then cleared
  kScanCode = 4515,           // i result: scan code of the key held (the last pressed of those held), 0 none
  kJoystickLeft = 4521,       // i result: 1 while the stick is left of centre (x < 0)
  kJoystickRight = 4522,      // i result: x > 0
  kJoystickUp = 4523,         // i result: y < 0
  kJoystickDown = 4524,       // i result: y > 0
  kJoystickButtonA = 4525,    // i result: button 0 held
  kJoystickButtonB = 4526,    // i result: button 1 held
  kJoystickButtonC = 4527,    // i result: button 2 held
  kJoystickButtonD = 4528,    // i result: button 3 held
  kJoystickX = 4529,          // i result: x axis -1000..1000 (dead zone 10%)
  kJoystickY = 4530,          // i result: y axis
  kJoystickZ = 4531,          // i result: z axis
  kJoystickSliderA = 4532,    // i result: first slider 0..65535
  kJoystickSliderB = 4533,    // i result: second slider
  kJoystickHatARaw = 4534,    // i result: hat 0 as read (hundredths of a degree, -1 centred)
  kJoystickHatBRaw = 4535,    // i result: hat 1 as read
  kJoystickButton = 4536,     // i result, i n: button n (0..31) held; other n answer 0
  kJoystickTwistX = 4537,     // i result: rotation about x -1000..1000
  kJoystickTwistY = 4538,     // i result: rotation about y
  kJoystickTwistZ = 4539,     // i result: rotation about z
  kJoystickHatAngle = 4540,   // i result, i n: hat n (0..3) in hundredths of a degree; -1 centred or n outside
  kControlDeviceName = 4551,  // s result: the control device's name (4002 when none is chosen)
  kControlDeviceX = 4552,     // i result: the control device's x -1000..1000
  kControlDeviceY = 4553,     // i result: its y
  kControlDeviceZ = 4554,     // i result: its z

  // --- 3D engine: meshes and the static world (engine3d/meshes.cpp, engine3d/static_commands.cpp)
  kMakeMeshFromObject = 7010, // i mesh, i object: a mesh of the object's shape (7001, 7002, 7006, 7008)
  kDeleteMesh = 7011,         // i mesh: free the mesh (7001, 7003)
  kMeshExist = 7517,          // i result, i mesh: 1 when the mesh exists (7001)
  kMakeStaticObject = 7005,   // i object, i mode: its meshes join the level; mode 0-4 (7004, 7006, 7008)
  kConvertStaticObject = 7007,  // i object, i mode: as 7005, then the object is deleted
  kMakeStaticObjectRemovable = 7095,  // i object: its meshes join the world until it is made movable
  kMakeObjectMovable = 7097,  // i object: its meshes leave the static world; drawn as an object again
  kDeleteStaticObjects = 7098,  // (none): empty the static world (meshes and boxes)
  kLoadStaticObjects = 7088,  // s file: load the world in place of the current one (105, 7020)
  kSaveStaticObjects = 7089,  // s file: save the world, textures beside it as file_n.dds (7021)
  kAddStaticBox = 7091,       // f x1, f y1, f z1, f x2, f y2, f z2: a collision box
  kMoveCameraStatic = 7070,   // f distance, f radius: move the camera, stopped by the boxes
  kStaticPushOut = 7571,      // i result, f 6 before, f 6 after (min x y z, max x y z): 1 when pushed
  kStaticLineOfSight = 7578,  // i result, f x1 y1 z1, f x2 y2 z2, f radius, f step: 1 when a box is entered
  kStaticResponseX = 7579,    // f result: x of the last push or free point
  kStaticResponseY = 7580,    // f result: y
  kStaticResponseZ = 7581,    // f result: z

  // --- Clipboard and registry values (commands/clipboard_registry_commands.cpp); none raises
  kClipboardWrite = 8071,     // s text: put the text on the clipboard
  kClipboardRead = 8072,      // s result: the clipboard's text ("" when it holds none)
  kRegistryWrite = 8081,      // s key path, s value name, i number: keep the number (names under 255 characters)
  kRegistryRead = 8082,       // i result, s key path, s value name: the kept number, 0 when missing

  // --- Array files (commands/array_file_commands.cpp); operand 1 is the access temporary
  // of the instruction before the command, which names the array (104, 109)
  kLoadArray = 5001,          // s file, temp: load an integer array (missing file 104)
  kLoadArrayFloat = 5002,     // s file, temp: load a float array
  kLoadArrayString = 5003,    // s file, temp: load a string array (one line per element)
  kSaveArray = 5004,          // s file, temp: save an integer array (raw words)
  kSaveArrayFloat = 5005,     // s file, temp: save a float array
  kSaveArrayString = 5006,    // s file, temp: save a string array (CR LF after each element)

  // --- Files and folders (commands/folder_commands.cpp); warnings unless said
  kFileSetDir = 8001,         // s folder: enter the folder (8003, an error)
  kFileDir = 8002,            // print the current folder and its entries (8001)
  kFileDriveList = 8003,      // print the drives: "/" and the mounted file systems
  kFileChecklistFiles = 8004, // fill the checklist with the folder's entries (a = 1 for a folder)
  kFileChecklistDrives = 8005,  // fill the checklist with the drives
  kFileFindFirst = 8006,      // start the folder scan (8001)
  kFileFindNext = 8007,       // step the scan (8002 when it is over)
  kFileSetDirAlias = 8008,    // s folder: as 8001
  kFileMake = 8021,           // s name: make an empty file (8021 when it exists)
  kFileDelete = 8022,         // s name: delete the file (8022 when missing)
  kFileCopy = 8023,           // s source, s target: copy, never over a file (105, 106)
  kFileRename = 8024,         // s old, s new: rename, never over a file (106, 8024)
  kFileMove = 8025,           // s old, s new: move, never over a file (106, 8025)
  kFileWriteByteAt = 8026,    // s name, i position, i value: set one byte inside the file (105)
  kFileMakeDir = 8031,        // s folder: make the folder (8101)
  kFileDeleteDir = 8032,      // s folder: delete the folder and all below it, links not followed (8102)
  kFileExecute = 8033,        // s file, s parameters, s folder: start a program or open a document (8103)
  kFileExecuteAndWait = 8034, // s file, s parameters, s folder, i unused: the same, waiting for its end (8103)
  kFileDeleteDirTree = 8035,  // s folder, i unused: as 8032
  kFileCurrentDir = 8101,     // s result: the current folder
  kFileEntryName = 8102,      // s result: the scan's current entry name
  kFileEntryType = 8103,      // i result: 1 folder, 0 file, -1 no entry
  kFileEntryDate = 8104,      // s result: the entry's write time ("Thu Dec 10 18:22:15 2026")
  kFileExist = 8121,          // i result, s name: 1 when the file can be read (package first)
  kFileSize = 8122,           // i result, s name: its size in bytes, 0 when unreadable
  kPathExist = 8123,          // i result, s path: 1 when a file or folder of that name exists
  kFileReadByteAt = 8126,     // i result, s name, i position: the byte there, -128..127 (105)

  // --- Numbered files 1..32 (commands/file_commands.cpp); all warnings. Targets are
  // variables or array elements that receive the value read.
  kFileOpenToRead = 8041,     // i file, s name: open for reading (8213, 8203, 105, 8201)
  kFileOpenToWrite = 8042,    // i file, s name: make a new file for writing (8213, 8203, 106, 8202)
  kFileClose = 8043,          // i file: close (8213, 8204)
  kFileReadByte = 8051,       // i file, target: 0..255 (8213, 8204, 8211)
  kFileReadWord = 8052,       // i file, target: 0..65535
  kFileReadLong = 8053,       // i file, target: signed 32-bit
  kFileReadLongAlias = 8054,  // i file, target: as 8053
  kFileReadFloat = 8055,      // i file, f target: 32-bit float
  kFileReadString = 8056,     // i file, s target: a line ended by a byte below 32 (CR LF taken whole)
  kFileReadFileEntry = 8057,  // i file, s name: extract one packed entry (length, bytes) to a new file
  kFileSkipBytes = 8058,      // i file, i count: read and drop count bytes (negative: 8211)
  kFileReadDirectoryPack = 8059,  // i file, s folder: unpack a packed folder inside the folder (8202, 8211)
  kFileWriteByte = 8061,      // i file, i value: the low byte (8213, 8204, 8212)
  kFileWriteWord = 8062,      // i file, i value: the low 16 bits
  kFileWriteLong = 8063,      // i file, i value: 4 bytes
  kFileWriteLongAlias = 8064, // i file, i value: as 8063
  kFileWriteFloat = 8065,     // i file, f value: 4 bytes
  kFileWriteString = 8066,    // i file, s text: the text and CR LF
  kFileWriteFileEntry = 8067, // i file, s name: append the file as a packed entry (length, bytes)
  kFileWriteFileBytes = 8068, // i file, s name, i unused: append the file's bytes
  kFileWriteDirectoryPack = 8069,  // i file, s folder: write the folder as a packed folder (8212)
  kFileIsOpen = 8124,         // i result, i file: 1 when open (8213)
  kFileAtEnd = 8125,          // i result, i file: the end-of-file flag (8213)

  // --- FTP (commands/ftp_commands.cpp); one session at a time, all warnings
  kFtpConnect = 8201,         // s server, s user, s password: connect (8301, also when connected)
  kFtpSetDir = 8202,          // s folder: change the remote folder (8302)
  kFtpFindFirst = 8203,       // start the remote listing
  kFtpFindNext = 8204,        // the next remote entry
  kFtpPutFile = 8205,         // s name: upload the file under its own name (8303)
  kFtpDeleteFile = 8206,      // s name: delete the remote file (8304)
  kFtpGetFile = 8207,         // s remote, s local: download whole (8305)
  kFtpDisconnect = 8208,      // end the session
  kFtpGetFileChunked = 8209,  // s remote, s local, i expected size: start a chunked download (8305)
  kFtpProceed = 8210,         // read the next chunk of a chunked download
  kFtpTerminate = 8211,       // abort the chunked download (its local file deleted)
  kFtpDisconnectHangUp = 8212,  // i hang up: end the session
  kFtpStatusText = 8301,      // s result: ""
  kFtpEntryName = 8302,       // s result: the current remote entry's name
  kFtpEntryType = 8303,       // i result: 1 folder, 0 file, -1 none
  kFtpProgress = 8304,        // i result: percent of a chunked download, -1 when none runs
  kFtpEntrySize = 8306,       // i result: the remote entry's size
  kFtpConnected = 8307,       // i result: 1 while connected
  kFtpFailureText = 8308,     // s result: the server's response at the first failure
  kFtpFailed = 8309,          // i result: 1 when a failure was recorded; cleared by reading

  // --- System, display and window (commands/system_commands.cpp)
  kDisplaySoftware = 9001,    // the 3D device renders in software
  kDisplayHardware = 9002,    // the 3D device may use the graphics card
  kDisplayChecklistCards = 9003,  // fill the checklist with the graphics cards (strings)
  kDisplaySetCard = 9004,     // s name: use the named card (9011 when another is in use)
  kDisplayNoTnL = 9011,       // hardware transform and lighting not allowed
  kDisplayAllowTnL = 9012,    // hardware transform and lighting allowed
  kDisplayEvictTextures = 9013,  // release the textures kept on the card
  kTextureMemoryFree = 9051,  // i result: free memory for textures (9012)
  kVideoMemoryFree = 9052,    // i result: free video memory (9013)
  kSystemMemoryFree = 9053,   // i result: free memory and swap, capped at 2^31-1
  kDisplayIsSoftware = 9054,  // i result: 1 after 9001
  kDisplayCardName = 9055,    // s result: the renderer in use
  kDisplayHasTnL = 9056,      // i result: 1 when the device transforms and lights
  kWindowOn = 9101,           // run in a framed window
  kWindowOff = 9102,          // run full screen
  kWindowLayout = 9103,       // i framed, i caption, i icon: the window's frame
  kWindowPosition = 9104,     // i x, i y: move the window
  kWindowSize = 9105,         // i width, i height: size the window
  kWindowHide = 9106,         // hide the window
  kWindowShow = 9107,         // show the window
  kWindowTitle = 9108,        // s text: the window's title
  kWindowMinimise = 9109,     // minimise the window
  kWindowMaximise = 9110,     // maximise the window
  kWindowRestore = 9111,      // restore the window
  kEscapeKeyOff = 9601,       // Esc no longer ends the run
  kEscapeKeyOn = 9602,        // Esc ends the run (the default)
  kSystemKeysOff = 9603,      // system keys off (kept per run only)
  kSystemKeysOn = 9604,       // system keys on
  kPrintQuoteA = 9801,        // print one of three lines of fun text at the text cursor
  kPrintQuoteB = 9802,
  kPrintQuoteC = 9803,
  kSwitchAOn = 9990,          // the three program switches (cleared at every program start)
  kSwitchBOn = 9991,
  kSwitchBOff = 9992,
  kSwitchCOn = 9993,
  kSwitchCOff = 9994,
  kSwitchAOff = 9995,

  // --- The checklist (commands/checklist_commands.cpp); index 1..512, queries write operand 0
  kChecklistEmpty = 9501,     // empty the checklist: no list made, count 0
  kChecklistQuantity = 9551,  // i result: entries in the list (9005)
  kChecklistValueA = 9552,    // i result, i index: value a of the entry (9005, 9001, 9004, 9002)
  kChecklistValueB = 9553,    // i result, i index: value b of the entry (as 9552)
  kChecklistValueC = 9554,    // i result, i index: value c of the entry (as 9552)
  kChecklistValueD = 9555,    // i result, i index: value d of the entry (as 9552)
  kChecklistString = 9556,    // s result, i index: the entry's text (9005, 9001, 9003, 9002)
};
