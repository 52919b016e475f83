// The scene every pass draws and the check works out for itself: one sphere
// model, one camera, one light. Start-up, the passes and the check take
// these from here alone.
#pragma once

// The sphere model, compiled once into a display list.
constexpr unsigned SPHERE_LIST = 1;
constexpr double SPHERE_RADIUS = 0.25;
constexpr int SPHERE_SLICES = 10, SPHERE_STACKS = 6;

// The camera: a vertical field of view of 50 degrees whatever the window's
// proportions, and the field's centre 15 units in front of the eyes, which
// stand EYE_SEPARATION apart unless --eye-separation says otherwise.
constexpr double FIELD_OF_VIEW = 50.0;  // degrees
constexpr double NEAR_PLANE = 1.0, FAR_PLANE = 100000.0;
constexpr float FIELD_DISTANCE = 15.0f;
constexpr double EYE_SEPARATION = 1.0;

// w = 0: a directional light, shining from the direction (-15, 15, 15): the
// upper left, on the viewer's side. A point light at that position would
// light the field's centre (15 units away) from about 20 degrees nearer the
// line of sight; directional costs less per vertex. It is given while the
// modelview matrix is the identity, so it stays fixed to the eyes.
constexpr float LIGHT_POSITION[4] = {-15.0f, 15.0f, 15.0f, 0.0f};

// Nothing sets a material or the light model, so GL's defaults light the
// spheres: a written channel gets GLOBAL_AMBIENT * MATERIAL_AMBIENT +
// MATERIAL_DIFFUSE * max(0, normal . light) (the light's diffuse colour is
// 1 in the eye's channels, its ambient 0).
constexpr double MATERIAL_DIFFUSE = 0.8, MATERIAL_AMBIENT = 0.2, GLOBAL_AMBIENT = 0.2;

// The unit normal at a vertex of the sphere model, which is also where the
// vertex stands on a sphere of radius 1: stack 0 is the pole at +z, stack
// SPHERE_STACKS the one at -z; slices run clockwise about the z axis seen
// from +z. Rounded as glutSolidSphere rounds (single-precision angles,
// double-precision sines), so that the sphere built here is its sphere. No
// GL: the check works out its pictures from the same vertices.
void sphereVertex(int stack, int slice, float normal[3]);

// The fixed GL state every pass relies on (depth test, lighting with the
// light above, back faces culled, a black clear colour) and the sphere
// model, in the current context: glutSolidSphere's where GLUT made the
// context, the same sphere built here where it did not (off-screen).
void prepareScene(double aspect, bool glutSphere);
