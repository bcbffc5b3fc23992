// Free rotation of objects about their own axes (pitch, roll, yaw) kept in the object's own
// matrix, the order its angles turn in, and orientation taken from another object or fixed.
#include "engine3d/engine3d_local.h"
#include "models/models.h"
#include "runtime/command_numbers.h"

#include <cmath>

namespace {

// The inverse of a pure turn is its transpose.
void Transpose3x3(Matrix4& out, const Matrix4& turn) {
  MatrixIdentity(out);
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 3; ++column) out.m[row][column] = turn.m[column][row];
}

// Turns the object about its own axes by the angles in degrees: the turn comes before the
// one it has, so it happens in the object's own frame.
void TurnObject(int32_t slot, float ax, float ay, float az) {
  Matrix4 turn, current;
  RotationFromAngles(turn, ax * kDegreesToRadians, ay * kDegreesToRadians, az * kDegreesToRadians);
  ObjectRotation(slot, current);
  MatrixMultiply(turn, turn, current);
  SetObjectTurn(slot, turn);
}

template <int Axis, int Sign>
void CmdTurnObjectOwnAxis() {
  const int32_t number = IntOperand(0);
  const float angle = FloatOperand(1) * static_cast<float>(Sign);
  AdvanceOperands(2);
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return;
  TurnObject(slot, Axis == 0 ? angle : 0.0f, Axis == 1 ? angle : 0.0f, Axis == 2 ? angle : 0.0f);
}

// A new rotation order: a freely rotated object keeps its orientation (its angles are read
// again in the new order); one turned by its angles turns by the same angles in the new order.
template <int32_t Order>
void CmdSetObjectRotationOrder() {
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return;
  ObjectRecord* object = ObjectAt(slot);
  object->rotationOrder = Order;
  if (object->ownMatrixFlag == 1) {
    Matrix4 turn;
    ObjectRotation(slot, turn);
    AnglesOfTurn(turn, Order, object->angles);
  }
  MarkObjectMoved(slot);
  UpdateObjectTransform(slot);
}

void CmdSetObjectToObjectOrientation() {
  const int32_t number = IntOperand(0), other = IntOperand(1);
  AdvanceOperands(2);
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return;
  const int32_t from = ExistingObject(other);
  if (from < 0) return;
  ObjectRecord* object = ObjectAt(slot);
  const ObjectRecord* source = ObjectAt(from);
  for (int i = 0; i < 3; ++i) object->angles[i] = source->angles[i];
  object->rotationOrder = source->rotationOrder;
  object->ownMatrixFlag = source->ownMatrixFlag;
  object->ownMatrix = source->ownMatrix;
  MarkObjectMoved(slot);
  UpdateObjectTransform(slot);
}

// The object's present turn goes into its model's root matrix, applied before everything else
// it draws with; its angles start again from 0 (so turning it later turns about the new pose).
// Copies share the model, and with it the fixed pivot.
void CmdFixObjectPivot() {
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return;
  ObjectRecord* object = ObjectAt(slot);
  if (object->model != nullptr) {
    Matrix4 turn, pivot;
    ObjectRotation(slot, turn);
    // A pivot fixed before stays, the new turn after it (the root matrix is the identity
    // until a pivot is fixed).
    Matrix4* held = nullptr;
    object->model->GetModelRootMatrixPointer(held);
    if (held != nullptr)
      pivot = *held;
    else
      MatrixIdentity(pivot);
    MatrixMultiply(pivot, pivot, turn);
    object->model->SetModelRootMatrix(1, pivot);
  }
  object->angles[0] = object->angles[1] = object->angles[2] = 0.0f;
  object->ownMatrixFlag = 0;
  MatrixIdentity(object->ownMatrix);
  MarkObjectMoved(slot);
  UpdateObjectTransform(slot);
  RefreshObjectBounds(slot);
}

}  // namespace

// Every turn lands here: the object keeps its new orientation in its own matrix (the inverse
// of the turn, as the camera keeps its own), and its angles follow it.
void SetObjectTurn(int32_t slot, const Matrix4& turn) {
  ObjectRecord* object = ObjectAt(slot);
  Transpose3x3(object->ownMatrix, turn);
  object->ownMatrixFlag = 1;
  AnglesOfTurn(turn, object->rotationOrder, object->angles);
  MarkObjectMoved(slot);
  UpdateObjectTransform(slot);
}

namespace {

const CommandEntry kObjectRotationCommands[] = {
    {kPitchObjectUp, CmdTurnObjectOwnAxis<0, -1>},
    {kPitchObjectDown, CmdTurnObjectOwnAxis<0, 1>},
    {kRollObjectLeft, CmdTurnObjectOwnAxis<2, 1>},
    {kRollObjectRight, CmdTurnObjectOwnAxis<2, -1>},
    {kYawObjectLeft, CmdTurnObjectOwnAxis<1, -1>},
    {kYawObjectRight, CmdTurnObjectOwnAxis<1, 1>},
    {kSetObjectRotationXyz, CmdSetObjectRotationOrder<1>},
    {kSetObjectRotationZyx, CmdSetObjectRotationOrder<0>},
    {kSetObjectToObjectOrientation, CmdSetObjectToObjectOrientation},
    {kFixObjectPivot, CmdFixObjectPivot},
};

}  // namespace

// The matrix routines read the angles of a turn z first, negated, and those of a turn x first
// from its inverse (the transpose of a pure turn).
void AnglesOfTurn(const Matrix4& turn, int32_t order, float angles[3]) {
  Matrix4 read = turn;
  if (order == 1) Transpose3x3(read, turn);
  float ax, ay, az;
  MatrixToAnglesDegrees(read, ax, ay, az);
  const float sign = order == 1 ? 1.0f : -1.0f;
  angles[0] = WrapAngle360(sign * ax);
  angles[1] = WrapAngle360(sign * ay);
  angles[2] = WrapAngle360(sign * az);
}

CommandTableView ObjectRotationCommandTable() {
  return {kObjectRotationCommands, std::size(kObjectRotationCommands)};
}
